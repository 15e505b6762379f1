#pragma once

#include "IdException.h"

#include <cstdint>
#include <span>
#include <string>

// A failed transfer: a server's ERROR packet, or the client's own "Timeout".
class EIdTFTPException : public EIdException {
public:
    using EIdException::EIdException;
};

// One class for each error code of RFC 1350 and RFC 2347; each carries the server's text.
class EIdTFTPFileNotFound : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPAccessViolation : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPAllocationExceeded : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPIllegalOperation : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPUnknownTransferID : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPFileAlreadyExists : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPNoSuchUser : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

class EIdTFTPOptionNegotiationFailed : public EIdTFTPException {
public:
    using EIdTFTPException::EIdTFTPException;
};

// Raises the class that the ERROR packet's code stands for (codes 0 and 9 and up:
// EIdTFTPException itself), with the server's text as the message.
[[noreturn]] void RaiseServerError(std::span<const uint8_t> datagram);
