#include "IdUDPBase.h"

#include "IdException.h"
#include "IdStack.h"

#include <netinet/in.h>

#include <cerrno>

namespace {

constexpr std::size_t LargestDatagram = 65535;

} // namespace

void TIdUDPBase::SetActive(bool active)
{
    if (active)
        Binding();
    else
        CloseBinding();
}

TIdSocketHandle& TIdUDPBase::Binding()
{
    if (!socket_.Allocated())
        socket_.AllocateUdp();
    return socket_;
}

void TIdUDPBase::SendBuffer(const std::string& host, int32_t port, const uint8_t* data, std::size_t length)
{
    // A resolved address is always a dotted quad.
    const auto address = IdStack::ParseDottedQuad(IdStack::ResolveHost(host));
    SendBuffer({ntohl(*address), static_cast<uint16_t>(port)}, data, length);
}

void TIdUDPBase::SendBuffer(const TIdIPv4Endpoint& to, const uint8_t* data, std::size_t length)
{
    Binding().SendTo(to, data, length);
}

std::optional<TIdUDPDatagram> TIdUDPBase::ReceiveDatagram(int timeoutMs)
{
    receiveBuffer_.resize(LargestDatagram);
    const auto got = Binding().ReceiveFrom(receiveBuffer_.data(), receiveBuffer_.size(), timeoutMs);
    if (!got)
        return std::nullopt;
    return TIdUDPDatagram{{receiveBuffer_.data(), got->length}, got->from};
}

void TIdUDPBase::CheckDatagram(const TIdUDPDatagram& datagram) const
{
    if (datagram.bytes.empty())
        throw EIdUDPReceiveErrorZeroBytes();
    if (bufferSize_ < 0 || datagram.bytes.size() > static_cast<std::size_t>(bufferSize_))
        throw EIdSocketError(EMSGSIZE);
}
