#include "IdRawBase.h"

#include "IdStack.h"

void TIdRawBase::SetOutgoingTtl(int32_t ttl)
{
    outgoingTtl_ = ttl;
    Binding().SetTtl(outgoingTtl_);
}

TIdSocketHandle& TIdRawBase::Binding()
{
    if (!socket_.Allocated())
        socket_.AllocateRaw(protocol_);
    socket_.SetTtl(outgoingTtl_);
    return socket_;
}

void TIdRawBase::Send(const uint8_t* data, std::size_t length)
{
    const std::string address = IdStack::ResolveHost(host_);
    Binding().SendTo(address, static_cast<uint16_t>(port_), data, length);
}

std::size_t TIdRawBase::ReceiveBuffer(uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = receiveTimeout_;
    if (!Binding().Readable(timeoutMs))
        return 0;
    return Binding().ReceiveFrom(buffer, capacity).length;
}

void TIdRawBase::CloseBinding() { Binding().Close(); }
