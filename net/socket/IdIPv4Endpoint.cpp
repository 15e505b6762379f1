#include "IdIPv4Endpoint.h"

#include <arpa/inet.h>

std::string TIdIPv4Endpoint::AddressText() const
{
    const in_addr binary{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &binary, text, sizeof text);
    return text;
}
