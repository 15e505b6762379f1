#pragma once

#include "IdTrivialFTPBase.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The packets a writing TFTP client builds and reads (RFC 1350, with the option
// extension of RFC 2347 and the block-size option of RFC 2348). Pure functions over
// bytes: no socket, no state. Received datagrams may be of any length, the empty
// one included; fields a short datagram lacks are handled as each reader says.

enum TIdTFTPOpcode : uint16_t {
    opWriteRequest = 2,
    opData = 3,
    opAck = 4,
    opError = 5,
    opOptionAck = 6,
};

// Opcode and block number in front of every payload.
constexpr std::size_t DataHeaderSize = 4;

// RFC 2348 caps the block size where a block still fits one UDP datagram.
constexpr int32_t MaxBlockSize = 65464;

//  2 bytes   string     1    string  1   string    1   string     1
// +-------+-----------+---+--------+---+---------+---+----------+---+
// | 00 02 | file name | 0 |  mode  | 0 | blksize | 0 | digits   | 0 |
// +-------+-----------+---+--------+---+---------+---+----------+---+
// The name goes out byte for byte, unchecked; the size as plain decimal, a
// negative one with its minus sign.
std::vector<uint8_t> MakeWriteRequest(const std::string& remoteName, TIdTFTPMode mode, int32_t blockSize);

// 00 03, then the low 16 bits of the block number. The payload follows it.
std::array<uint8_t, DataHeaderSize> MakeDataHeader(int32_t block);

// The first two bytes as a number. A one-byte datagram reads as that byte times 256
// and an empty one as 0: both are opcodes no packet has.
uint16_t ReadOpcode(std::span<const uint8_t> datagram);

// The block number of an ACK (00 04, block). Nothing when the datagram is too short
// to hold one: such a packet acknowledges no block.
std::optional<uint16_t> ReadAckBlock(std::span<const uint8_t> datagram);

// An ERROR packet: 00 05, code, text up to a zero byte or the datagram's end. Missing
// code bytes count as zero, so a truncated ERROR is still a failure.
struct TIdTFTPErrorPacket {
    uint16_t code = 0;
    std::string text;
};
TIdTFTPErrorPacket ReadErrorPacket(std::span<const uint8_t> datagram);

// The block size that an OACK (00 06, name, 0, value, 0, ...) grants, when its first
// option is "blksize" in any letter case; nothing when the first option is another.
// Only the first option is read, its value always at offset 10. A value that is no
// integer raises EConvertError; a size no DATA packet can have (below 1, or above
// MaxBlockSize) raises EIdTFTPOptionNegotiationFailed.
std::optional<int32_t> ReadOptionAckBlockSize(std::span<const uint8_t> datagram);
