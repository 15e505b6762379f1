#pragma once

#include "Exception.h"

#include <cstdint>
#include <string>

// A text that does not convert to the number asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Reads a signed 32-bit decimal integer: an optional sign and one or more digits,
// nothing else. Anything else, an empty text or a value out of range, raises
// EConvertError with "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text);
