#include "FrameTrace.h"

#include <cstdio>

namespace {

constexpr std::size_t EthernetHeader = 14;

unsigned Word(const uint8_t* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

std::string Address(const uint8_t* p)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", p[0], p[1], p[2], p[3]);
    return text;
}

} // namespace

std::string DescribeFrame(const uint8_t* frame, std::size_t length)
{
    char line[160];
    if (length < EthernetHeader + 20 || Word(frame + 12) != 0x0800) {
        std::snprintf(line, sizeof line, "frame type %04x, %zu bytes", length >= 14 ? Word(frame + 12) : 0u, length);
        return line;
    }
    const uint8_t* ip = frame + EthernetHeader;
    const std::size_t ipLength = static_cast<std::size_t>(ip[0] & 0x0f) * 4;
    const unsigned fragmentOffset = (Word(ip + 6) & 0x1fff) * 8;
    const std::string from = Address(ip + 12), to = Address(ip + 16);
    const std::size_t ipTotal = Word(ip + 2);
    const std::size_t ipPayload = ipTotal > ipLength ? ipTotal - ipLength : 0;
    if (fragmentOffset != 0) {
        std::snprintf(line, sizeof line, "ipv4 %s > %s fragment at %u, %zu bytes", from.c_str(), to.c_str(),
                      fragmentOffset, ipPayload);
        return line;
    }
    const uint8_t* udp = ip + ipLength;
    if (ip[9] != 17 || EthernetHeader + ipLength + 12 > length || Word(udp + 4) < 12) {
        std::snprintf(line, sizeof line, "ipv4 %s > %s protocol %u, %zu bytes", from.c_str(), to.c_str(), ip[9],
                      ipPayload);
        return line;
    }
    const uint8_t* data = udp + 8;
    std::snprintf(line, sizeof line, "udp %s:%u > %s:%u len %u [%02x %02x %02x %02x ...]", from.c_str(), Word(udp),
                  to.c_str(), Word(udp + 2), Word(udp + 4) - 8, data[0], data[1], data[2], data[3]);
    return line;
}
