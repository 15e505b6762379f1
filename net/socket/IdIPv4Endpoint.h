#pragma once

#include <cstdint>
#include <string>

// An IPv4 address and port, both in host byte order. Datagrams carry their sender in
// this form, so that a transfer can match and answer its peer on every packet without
// turning the address into text and back.
struct TIdIPv4Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;

    bool operator==(const TIdIPv4Endpoint&) const = default;

    // The address in dotted decimal, e.g. "192.0.2.2".
    std::string AddressText() const;
};
