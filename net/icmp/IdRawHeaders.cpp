#include "IdRawHeaders.h"

#include <cstring>

namespace IdRawHeaders {

namespace {

constexpr std::size_t ChecksumOffset = 2;
constexpr std::size_t IdentifierOffset = 4;
constexpr std::size_t SequenceOffset = 6;
constexpr std::size_t TimestampOffset = 8;
constexpr std::size_t FillerOffset = 20;
constexpr uint8_t Filler = 0x45;

} // namespace

uint16_t InternetChecksum(const uint8_t* data, std::size_t length)
{
    uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8;
    if (length % 2 != 0)
        sum += data[length - 1];
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum);
}

void WriteLittleEndian16(uint8_t* out, uint16_t value)
{
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void WriteLittleEndian32(uint8_t* out, uint32_t value)
{
    WriteLittleEndian16(out, static_cast<uint16_t>(value));
    WriteLittleEndian16(out + 2, static_cast<uint16_t>(value >> 16));
}

void WriteEchoRequest(uint8_t* out, uint16_t identifier, uint16_t sequence, uint32_t timestamp)
{
    std::memset(out, 0, EchoRequestLength);
    out[0] = IcmpEchoRequest;
    out[1] = 0;
    WriteLittleEndian16(out + IdentifierOffset, identifier);
    WriteLittleEndian16(out + SequenceOffset, sequence);
    WriteLittleEndian32(out + TimestampOffset, timestamp);
    std::memset(out + FillerOffset, Filler, EchoRequestLength - FillerOffset);
    WriteLittleEndian16(out + ChecksumOffset, InternetChecksum(out, EchoRequestLength));
}

uint16_t TIdReceivedDatagram::LittleEndian16(std::size_t offset) const
{
    return static_cast<uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
}

uint32_t TIdReceivedDatagram::LittleEndian32(std::size_t offset) const
{
    return LittleEndian16(offset) | static_cast<uint32_t>(LittleEndian16(offset + 2)) << 16;
}

std::string TIdReceivedDatagram::IpSourceAddress() const
{
    return std::to_string(Byte(12)) + "." + std::to_string(Byte(13)) + "." + std::to_string(Byte(14)) + "."
        + std::to_string(Byte(15));
}

} // namespace IdRawHeaders
