#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Datagrams written the way the packet diagrams read: Bytes({0, 6, "blksize", 0,
// "1024", 0}). A number is one byte, a text its characters without a terminator.
struct BytePiece {
    BytePiece(int byte) : bytes(1, static_cast<char>(byte)) {}
    BytePiece(const char* text) : bytes(text) {}
    BytePiece(const std::string& text) : bytes(text) {}
    std::string bytes;
};

inline std::vector<uint8_t> Bytes(std::initializer_list<BytePiece> pieces)
{
    std::vector<uint8_t> datagram;
    for (const auto& piece : pieces)
        datagram.insert(datagram.end(), piece.bytes.begin(), piece.bytes.end());
    return datagram;
}
