#include "IdException.h"

#include <cstring>

namespace {

std::string SocketErrorText(int lastError, const std::string& text)
{
    return "Socket Error # " + std::to_string(lastError) + "\r\n" + text;
}

} // namespace

EIdSocketError::EIdSocketError(int lastError)
    : EIdSocketError(lastError, std::strerror(lastError))
{
}

EIdSocketError::EIdSocketError(int lastError, const std::string& text)
    : EIdException(SocketErrorText(lastError, text)), lastError_(lastError)
{
}
