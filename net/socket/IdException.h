#pragma once

#include "Exception.h"

#include <string>

// The network error family. Every failure of the socket layer, the echo client and
// the TFTP client is one of these, carrying the exact text the user will see.
class EIdException : public Exception {
public:
    using Exception::Exception;
};

// A failed system call: carries the system's error number and its text.
class EIdSocketError : public EIdException {
public:
    explicit EIdSocketError(int lastError);
    // For failures that report through their own codes and texts, such as the resolver.
    EIdSocketError(int lastError, const std::string& text);

    int LastError() const noexcept { return lastError_; }

private:
    int lastError_;
};

class EIdInvalidSocket : public EIdException {
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdPackageSizeTooBig : public EIdSocketHandleError {
public:
    EIdPackageSizeTooBig() : EIdSocketHandleError("Package Size Too Big.") {}
};

class EIdNotAllBytesSent : public EIdSocketHandleError {
public:
    EIdNotAllBytesSent() : EIdSocketHandleError("Not all bytes sent.") {}
};

class EIdUDPReceiveErrorZeroBytes : public EIdException {
public:
    EIdUDPReceiveErrorZeroBytes() : EIdException("UDP Receive Error = 0.") {}
};
