#include "IdStack.h"

#include "IdException.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <memory>
#include <optional>

namespace IdStack {

namespace {

bool IsLocalhost(const std::string& host)
{
    static const std::string name = "localhost";
    return host.size() == name.size()
        && std::equal(host.begin(), host.end(), name.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

std::string LookUp(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        // The resolver reports through its own codes; a system failure keeps errno's.
        if (rc == EAI_SYSTEM)
            throw EIdSocketError(errno);
        throw EIdSocketError(rc, gai_strerror(rc));
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(found, &freeaddrinfo);
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    return text;
}

} // namespace

std::optional<in_addr_t> ParseDottedQuad(const std::string& text)
{
    uint32_t address = 0;
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i == text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
        int digits = 0;
        uint32_t value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (++digits > 3)
                return std::nullopt;
            value = value * 10 + static_cast<uint32_t>(text[i] - '0');
            ++i;
        }
        if (digits == 0 || value > 255)
            return std::nullopt;
        address = (address << 8) | value;
    }
    if (i != text.size())
        return std::nullopt;
    return htonl(address);
}

std::string ResolveHost(const std::string& host)
{
    if (IsLocalhost(host))
        return "127.0.0.1";
    if (ParseDottedQuad(host))
        return host;
    return LookUp(host);
}

uint16_t HostToNetwork(uint16_t value) { return htons(value); }

uint16_t NetworkToHost(uint16_t value) { return ntohs(value); }

uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

} // namespace IdStack
