#pragma once

#include "IdException.h"
#include "IdRawHeaders.h"

#include <cstdint>
#include <string>

enum TReplyKind : uint8_t { rkEcho, rkError, rkTimedOut, rkUnreachable, rkTtlExceeded };

// The outcome of one echo probe.
struct TReplyStatus {
    int32_t ReceivedBytes = 0;
    std::string SourceAddress;
    uint8_t IcmpType = 0;
    uint16_t Sequence = 0;
    uint32_t RoundTripMs = 0;
    uint8_t Ttl = 0;
    TReplyKind Kind = rkEcho;
};

class EIdIcmpException : public EIdException {
public:
    using EIdException::EIdException;
};

// What one probe learnt: from a received IPv4 datagram, or from none (an empty one,
// the time-out). Only the IP header length, TTL and source, and the ICMP type,
// sequence and timestamp are read; whatever sent it, it is taken as the answer.
// Raises EIdIcmpException for a datagram too short for its ICMP header or of a type
// other than echo reply, echo request, unreachable or time exceeded.
TReplyStatus DecodeReply(const IdRawHeaders::TIdReceivedDatagram& datagram, uint16_t nextSequence, uint32_t tickNow);
