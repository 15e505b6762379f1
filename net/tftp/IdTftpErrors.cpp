#include "IdTftpErrors.h"

#include "IdTftpPackets.h"

void RaiseServerError(std::span<const uint8_t> datagram)
{
    auto [code, text] = ReadErrorPacket(datagram);
    switch (code) {
    case 1:
        throw EIdTFTPFileNotFound(std::move(text));
    case 2:
        throw EIdTFTPAccessViolation(std::move(text));
    case 3:
        throw EIdTFTPAllocationExceeded(std::move(text));
    case 4:
        throw EIdTFTPIllegalOperation(std::move(text));
    case 5:
        throw EIdTFTPUnknownTransferID(std::move(text));
    case 6:
        throw EIdTFTPFileAlreadyExists(std::move(text));
    case 7:
        throw EIdTFTPNoSuchUser(std::move(text));
    case 8:
        throw EIdTFTPOptionNegotiationFailed(std::move(text));
    default:
        throw EIdTFTPException(std::move(text));
    }
}
