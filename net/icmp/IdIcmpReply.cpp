#include "IdIcmpReply.h"

using IdRawHeaders::TIdReceivedDatagram;

namespace {

constexpr std::size_t IcmpSequenceOffset = 6;
constexpr std::size_t IcmpTimestampOffset = 8;
constexpr std::size_t IcmpMinimumLength = 8;

TReplyKind KindOf(uint8_t icmpType)
{
    switch (icmpType) {
    case IdRawHeaders::IcmpEchoReply:
    case IdRawHeaders::IcmpEchoRequest:
        return rkEcho;
    case IdRawHeaders::IcmpDestinationUnreachable:
        return rkUnreachable;
    case IdRawHeaders::IcmpTimeExceeded:
        return rkTtlExceeded;
    default:
        throw EIdIcmpException("Non-echo type response received");
    }
}

} // namespace

TReplyStatus DecodeReply(const TIdReceivedDatagram& datagram, uint16_t nextSequence, uint32_t tickNow)
{
    TReplyStatus status;
    if (datagram.Length() == 0) {
        status.SourceAddress = "0.0.0.0";
        status.Sequence = nextSequence;
        status.Kind = rkTimedOut;
        return status;
    }
    // Neither the IP version nor a 20-byte minimum is checked: the header length
    // alone says where the ICMP message starts.
    const std::size_t icmp = datagram.IpHeaderLength();
    if (icmp + IcmpMinimumLength > datagram.Length())
        throw EIdIcmpException("Not enough bytes received");
    status.Kind = KindOf(datagram.Byte(icmp));
    status.ReceivedBytes = static_cast<int32_t>(datagram.Length());
    status.SourceAddress = datagram.IpSourceAddress();
    status.IcmpType = datagram.Byte(icmp);
    status.Sequence = datagram.LittleEndian16(icmp + IcmpSequenceOffset);
    status.RoundTripMs = tickNow - datagram.LittleEndian32(icmp + IcmpTimestampOffset);
    status.Ttl = datagram.IpTtl();
    return status;
}
