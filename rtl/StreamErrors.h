#pragma once

#include "Exception.h"

#include <string>

// Failures of the byte streams.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened as asked: missing, unreadable, a directory, or in use.
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& fileName) : EStreamError("Cannot open file " + fileName) {}
};

// A stream that yields fewer bytes than were asked of it, or fails to read them.
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};
