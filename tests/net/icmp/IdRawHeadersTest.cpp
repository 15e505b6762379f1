#include "IdIcmpReply.h"
#include "IdRawHeaders.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes EchoRequest(uint16_t identifier, uint16_t sequence, uint32_t timestamp)
{
    Bytes out(IdRawHeaders::EchoRequestLength);
    IdRawHeaders::WriteEchoRequest(out.data(), identifier, sequence, timestamp);
    return out;
}

TEST(EchoRequest, IsFiftyTwoBytesLaidOutLittleEndianWithFiller)
{
    Bytes expected = {0x08, 0x00, 0xBF, 0x98, 0x34, 0x12, 0x01, 0x00, 0xEE, 0xFF, 0xC0, 0x00};
    expected.resize(20, 0x00);
    expected.resize(52, 0x45);
    EXPECT_EQ(EchoRequest(0x1234, 1, 0x00C0FFEE), expected);
}

TEST(EchoRequest, ChecksumMatchesTheInternetChecksum)
{
    const Bytes zero = EchoRequest(0x1234, 0, 0);
    EXPECT_EQ(zero[2], 0x6F);
    EXPECT_EQ(zero[3], 0x99);
    // Whoever checksums the whole message, checksum included, gets zero.
    for (const Bytes& message : {zero, EchoRequest(0xFFFF, 0xFFFF, 0xFFFFFFFF), EchoRequest(1, 2, 3)})
        EXPECT_EQ(IdRawHeaders::InternetChecksum(message.data(), message.size()), 0) << int(message[6]);
}

TEST(InternetChecksum, FollowsRfc1071IncludingAnOddLastByte)
{
    struct Case {
        Bytes data;
        uint16_t stored; // as the two bytes lie on the wire, first byte high
    };
    const Case cases[] = {
        {{}, 0xFFFF},
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D}, // RFC 1071 section 3 example
        {{0x00, 0x01, 0xF2}, 0x0DFE},                               // odd: the last byte padded with zero
        {{0xFF}, 0x00FF},
    };
    for (const auto& c : cases) {
        const uint16_t sum = IdRawHeaders::InternetChecksum(c.data.data(), c.data.size());
        const uint16_t onWire = static_cast<uint16_t>((sum & 0xFF) << 8 | sum >> 8);
        EXPECT_EQ(onWire, c.stored) << c.data.size() << " bytes";
    }
}

// An IPv4 datagram as a raw socket hands it over: a header of `headerLength` bytes,
// then the ICMP message.
Bytes Datagram(uint8_t icmpType, std::size_t length, std::size_t headerLength = 20, uint8_t ttl = 100)
{
    Bytes d(length, 0);
    d[0] = static_cast<uint8_t>(0x40 | headerLength / 4);
    if (length > 8)
        d[8] = ttl;
    const uint8_t source[] = {192, 0, 2, 2};
    for (std::size_t i = 0; i < 4 && 12 + i < length; ++i)
        d[12 + i] = source[i];
    if (headerLength < length)
        d[headerLength] = icmpType;
    if (headerLength + 8 <= length)
        IdRawHeaders::WriteLittleEndian16(&d[headerLength + 6], 0x0102);
    if (headerLength + 12 <= length)
        IdRawHeaders::WriteLittleEndian32(&d[headerLength + 8], 1000);
    return d;
}

TEST(DecodeReply, ReadsEveryKindOfDatagram)
{
    constexpr uint32_t now = 1250;
    struct Case {
        const char* what;
        Bytes datagram;
        TReplyKind kind;
        int32_t receivedBytes;
        uint8_t ttl;
        uint32_t roundTrip;
    };
    const Case cases[] = {
        {"echo reply", Datagram(0, 72), rkEcho, 72, 100, 250},
        {"echo request", Datagram(8, 72, 20, 128), rkEcho, 72, 128, 250},
        {"unreachable", Datagram(3, 56, 20, 64), rkUnreachable, 56, 64, 250},
        {"time exceeded", Datagram(11, 56), rkTtlExceeded, 56, 100, 250},
        {"header of 60 bytes", Datagram(0, 112, 60), rkEcho, 112, 100, 250},
        // Exactly header + 8: the timestamp lies past the end and reads as zero.
        {"exactly header + 8", Datagram(0, 28), rkEcho, 28, 100, now},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TReplyStatus status = DecodeReply({c.datagram.data(), c.datagram.size()}, 7, now);
        EXPECT_EQ(status.Kind, c.kind);
        EXPECT_EQ(status.ReceivedBytes, c.receivedBytes);
        EXPECT_EQ(status.Ttl, c.ttl);
        EXPECT_EQ(status.RoundTripMs, c.roundTrip);
        EXPECT_EQ(status.SourceAddress, "192.0.2.2");
        EXPECT_EQ(status.IcmpType, c.datagram[c.datagram[0] % 16 * 4]);
        EXPECT_EQ(status.Sequence, 0x0102);
    }
}

TEST(DecodeReply, RaisesForShortOrForeignDatagrams)
{
    struct Case {
        const char* what;
        Bytes datagram;
        const char* message;
    };
    const Case cases[] = {
        {"redirect", Datagram(5, 56), "Non-echo type response received"},
        {"timestamp request", Datagram(13, 56), "Non-echo type response received"},
        {"one byte short", Datagram(0, 27), "Not enough bytes received"},
        {"options but no room for them", Datagram(0, 67, 60), "Not enough bytes received"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            DecodeReply({c.datagram.data(), c.datagram.size()}, 0, 0);
            ADD_FAILURE() << "no error";
        } catch (const EIdIcmpException& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST(DecodeReply, NothingReceivedIsTheTimeOutRecord)
{
    const TReplyStatus status = DecodeReply({nullptr, 0}, 42, 99999);
    EXPECT_EQ(status.Kind, rkTimedOut);
    EXPECT_EQ(status.ReceivedBytes, 0);
    EXPECT_EQ(status.SourceAddress, "0.0.0.0");
    EXPECT_EQ(status.IcmpType, 0);
    EXPECT_EQ(status.Sequence, 42);
    EXPECT_EQ(status.RoundTripMs, 0u);
    EXPECT_EQ(status.Ttl, 0);
}

} // namespace
