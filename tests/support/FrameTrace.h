#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One line about an Ethernet frame, for the relay's trace: its IPv4 addresses, and for
// UDP the ports, the length and the first payload bytes, which for TFTP are the opcode
// and the block number, e.g.
//   udp 192.0.2.1:40123 > 192.0.2.2:69 len 1504 [00 03 00 11 ...]
//   ipv4 192.0.2.1 > 192.0.2.2 fragment at 1480, 52 bytes
std::string DescribeFrame(const uint8_t* frame, std::size_t length);
