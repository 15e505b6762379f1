#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

// Process-wide facilities of the socket layer that are not tied to one socket.
namespace IdStack {

// "LOCALHOST" in any letter case is 127.0.0.1; a dotted quad of four decimal numbers
// 0-255 is returned unchanged; anything else is looked up and its first IPv4 address
// returned in dotted form. A failed look-up raises EIdSocketError.
std::string ResolveHost(const std::string& host);

// The address in network order when the text is exactly four dot-separated decimal
// numbers from 0 to 255 (leading zeros read as decimal), otherwise nothing.
std::optional<in_addr_t> ParseDottedQuad(const std::string& text);

uint16_t HostToNetwork(uint16_t value);
uint16_t NetworkToHost(uint16_t value);

// A millisecond tick count that wraps at 2^32, like a boot-relative system tick.
uint32_t TickCount();

uint32_t CurrentProcessId();

} // namespace IdStack
