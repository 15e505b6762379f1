#include "IdTftpPackets.h"

#include "IdTftpErrors.h"
#include "StrToInt.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view BlockSizeOption = "blksize";

// The text from offset up to the next zero byte or the datagram's end; empty when
// the datagram ends before offset.
std::string ZeroTerminatedText(std::span<const uint8_t> datagram, std::size_t offset)
{
    if (offset >= datagram.size())
        return {};
    const auto begin = datagram.begin() + static_cast<std::ptrdiff_t>(offset);
    return {begin, std::find(begin, datagram.end(), uint8_t{0})};
}

// A 16-bit field at offset; bytes past the datagram's end count as zero.
uint16_t WordAt(std::span<const uint8_t> datagram, std::size_t offset)
{
    uint8_t bytes[2] = {};
    for (std::size_t i = 0; i < 2 && offset + i < datagram.size(); ++i)
        bytes[i] = datagram[offset + i];
    return UnpackWord(bytes);
}

bool SameIgnoringCase(const std::string& text, std::string_view lower)
{
    return std::equal(text.begin(), text.end(), lower.begin(), lower.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

void Append(std::vector<uint8_t>& packet, const std::string& text)
{
    packet.insert(packet.end(), text.begin(), text.end());
    packet.push_back(0);
}

} // namespace

std::vector<uint8_t> MakeWriteRequest(const std::string& remoteName, TIdTFTPMode mode, int32_t blockSize)
{
    const auto opcode = PackWord(opWriteRequest);
    std::vector<uint8_t> packet(opcode.begin(), opcode.end());
    Append(packet, remoteName);
    Append(packet, ModeText(mode));
    Append(packet, std::string(BlockSizeOption));
    Append(packet, std::to_string(blockSize));
    return packet;
}

std::array<uint8_t, DataHeaderSize> MakeDataHeader(int32_t block)
{
    const auto opcode = PackWord(opData);
    const auto number = PackWord(block);
    return {opcode[0], opcode[1], number[0], number[1]};
}

uint16_t ReadOpcode(std::span<const uint8_t> datagram) { return WordAt(datagram, 0); }

std::optional<uint16_t> ReadAckBlock(std::span<const uint8_t> datagram)
{
    if (datagram.size() < 4)
        return std::nullopt;
    return WordAt(datagram, 2);
}

TIdTFTPErrorPacket ReadErrorPacket(std::span<const uint8_t> datagram)
{
    return {WordAt(datagram, 2), ZeroTerminatedText(datagram, 4)};
}

std::optional<int32_t> ReadOptionAckBlockSize(std::span<const uint8_t> datagram)
{
    if (!SameIgnoringCase(ZeroTerminatedText(datagram, 2), BlockSizeOption))
        return std::nullopt;
    // The value stands behind the seven letters of the name and their zero byte.
    const std::string value = ZeroTerminatedText(datagram, 2 + BlockSizeOption.size() + 1);
    const int32_t size = StrToInt(value);
    if (size < 1 || size > MaxBlockSize)
        throw EIdTFTPOptionNegotiationFailed("Block size " + value + " from the server is not in the range 1 to "
                                             + std::to_string(MaxBlockSize));
    return size;
}
