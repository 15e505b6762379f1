#include "IdIcmpClient.h"

#include "IdStack.h"

#include <netinet/in.h>

TIdIcmpClient::TIdIcmpClient()
{
    SetProtocol(IPPROTO_ICMP);
    SetReceiveTimeout(5000);
}

void TIdIcmpClient::ProbeOnce()
{
    BuildEchoRequest();
    TransmitRequest();
    AwaitReply();
    CloseBinding();
}

void TIdIcmpClient::BuildEchoRequest()
{
    requestLength_ = IdRawHeaders::EchoRequestLength;
    requestBuffer_.fill(0);
    IdRawHeaders::WriteEchoRequest(requestBuffer_.data(), static_cast<uint16_t>(IdStack::CurrentProcessId()),
        nextSequence_, IdStack::TickCount());
    ++nextSequence_;
}

void TIdIcmpClient::TransmitRequest() { Send(requestBuffer_.data(), static_cast<std::size_t>(requestLength_)); }

void TIdIcmpClient::AwaitReply()
{
    TReplyStatus status;
    replyBuffer_.fill(0);
    const std::size_t received = ReceiveBuffer(replyBuffer_.data(), replyBuffer_.size());
    FillReplyStatus(static_cast<int32_t>(received), status);
}

void TIdIcmpClient::FillReplyStatus(int32_t receivedBytes, TReplyStatus& status)
{
    const IdRawHeaders::TIdReceivedDatagram datagram(replyBuffer_.data(), static_cast<std::size_t>(receivedBytes));
    status = DecodeReply(datagram, nextSequence_, IdStack::TickCount());
    NotifyReply(status);
}

void TIdIcmpClient::NotifyReply(const TReplyStatus& status)
{
    if (OnReply)
        OnReply(*this, status);
}
