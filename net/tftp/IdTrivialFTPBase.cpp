#include "IdTrivialFTPBase.h"

#include "IdStack.h"

#include <cstring>

std::string ModeText(TIdTFTPMode mode) { return mode == tfNetAscii ? "netascii" : "octet"; }

std::array<uint8_t, 2> PackWord(int32_t value)
{
    const uint16_t wire = IdStack::HostToNetwork(static_cast<uint16_t>(value));
    std::array<uint8_t, 2> bytes{};
    std::memcpy(bytes.data(), &wire, sizeof wire);
    return bytes;
}

uint16_t UnpackWord(const uint8_t* bytes)
{
    uint16_t wire = 0;
    std::memcpy(&wire, bytes, sizeof wire);
    return IdStack::NetworkToHost(wire);
}
