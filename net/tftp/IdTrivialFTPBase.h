#pragma once

#include <array>
#include <cstdint>
#include <string>

// The transfer mode named in a write request. It selects the mode text and nothing
// else: the bytes of the file are sent unchanged in either mode.
enum TIdTFTPMode { tfNetAscii, tfOctet };

// "netascii" or "octet".
std::string ModeText(TIdTFTPMode mode);

// Every 16-bit field of a TFTP packet is big-endian. PackWord keeps the low 16 bits
// of the value; UnpackWord reads the first two bytes it is given.
std::array<uint8_t, 2> PackWord(int32_t value);
uint16_t UnpackWord(const uint8_t* bytes);
