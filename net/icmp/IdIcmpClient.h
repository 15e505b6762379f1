#pragma once

#include "IdIcmpReply.h"
#include "IdRawBase.h"

#include <array>
#include <cstdint>
#include <functional>

class TIdIcmpClient;

// Raised at the end of every probe that did not fail; the record lives only for the call.
using TOnReplyEvent = std::function<void(TIdIcmpClient& ASender, const TReplyStatus& AReplyStatus)>;

// Probes one host with ICMP echo requests over a raw IPv4 socket, one request per
// ProbeOnce, and reports each outcome (a time-out included) through OnReply.
class TIdIcmpClient : public TIdRawBase {
public:
    TIdIcmpClient();

    TOnReplyEvent OnReply;

    // Build and send one request, wait at most ReceiveTimeout for the first ICMP
    // datagram of any origin, decode it, notify, and close the socket. A failure
    // is raised without a notification and leaves the socket open for the next probe.
    void ProbeOnce();

protected:
    static constexpr std::size_t BufferLength = 1024;

    void BuildEchoRequest();
    void TransmitRequest();
    void AwaitReply();
    void FillReplyStatus(int32_t receivedBytes, TReplyStatus& status);
    void NotifyReply(const TReplyStatus& status);

    const std::array<uint8_t, BufferLength>& RequestBuffer() const { return requestBuffer_; }
    int32_t RequestLength() const { return requestLength_; }
    uint16_t NextSequence() const { return nextSequence_; }

private:
    std::array<uint8_t, BufferLength> replyBuffer_{};
    std::array<uint8_t, BufferLength> requestBuffer_{};
    uint16_t nextSequence_ = 0;
    int32_t requestLength_ = 0;
};
