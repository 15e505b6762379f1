#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes of the echo probe on the wire: the request we build and the fields we
// read from whatever IPv4 datagram comes back. Pure functions over bytes, no I/O.
//
// Echo request (the ICMP message alone; the system puts the IP header in front):
//
//   0       1       2               4               6               8
//   +-------+-------+---------------+---------------+---------------+
//   | type  | code  |   checksum    |  identifier   |   sequence    |
//   |   8   |   0   |               |     (LE)      |     (LE)      |
//   +-------+-------+---------------+---------------+---------------+
//   8                               12                              20
//   +-------------------------------+-------------------------------+
//   |     timestamp, ms tick (LE)   |          8 zero bytes         |
//   +-------------------------------+-------------------------------+
//   20                                                              52
//   +---------------------------------------------------------------+
//   |                 32 filler bytes, each 0x45 'E'                |
//   +---------------------------------------------------------------+
//
// Identifier, sequence and timestamp are little-endian, unlike the rest of the
// protocol; replies are read back the same way, so an echo yields what was sent.
namespace IdRawHeaders {

constexpr std::size_t EchoRequestLength = 52;
constexpr uint8_t IcmpEchoReply = 0;
constexpr uint8_t IcmpDestinationUnreachable = 3;
constexpr uint8_t IcmpEchoRequest = 8;
constexpr uint8_t IcmpTimeExceeded = 11;

// Sums little-endian 16-bit words (an odd last byte padded with zero), folds and
// complements. Stored little-endian, the result equals the RFC 1071 checksum.
uint16_t InternetChecksum(const uint8_t* data, std::size_t length);

// Writes the 52-byte request, checksum included, into the first bytes of out.
void WriteEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t timestamp);

void WriteLittleEndian16(uint8_t* out, uint16_t value);
void WriteLittleEndian32(uint8_t* out, uint32_t value);

// Readers over a received datagram of `length` bytes. A byte at or past the end
// reads as zero, as it would from a receive buffer cleared before the receive.
class TIdReceivedDatagram {
public:
    TIdReceivedDatagram(const uint8_t* data, std::size_t length) : data_(data), length_(length) {}

    std::size_t Length() const { return length_; }
    uint8_t Byte(std::size_t offset) const { return offset < length_ ? data_[offset] : 0; }
    uint16_t LittleEndian16(std::size_t offset) const;
    uint32_t LittleEndian32(std::size_t offset) const;

    // IPv4 header fields: the header length (low 4 bits of byte 0, in 32-bit words)
    // in bytes, the time-to-live (byte 8) and the source address (bytes 12 to 15).
    std::size_t IpHeaderLength() const { return static_cast<std::size_t>(Byte(0) & 0x0F) * 4; }
    uint8_t IpTtl() const { return Byte(8); }
    std::string IpSourceAddress() const;

private:
    const uint8_t* data_;
    std::size_t length_;
};

} // namespace IdRawHeaders
