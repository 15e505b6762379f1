#pragma once

#include "IdTrivialFTPBase.h"
#include "IdUDPClient.h"
#include "Stream.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Writes one local file, or the rest of a stream, to a TFTP server: a write request
// offering the "blksize" option, then DATA packets in lock step with the server's
// ACKs. Every transfer opens a fresh socket and closes it at its end, success or not.
class TIdTrivialFTP : public TIdUDPClient {
public:
    TIdTrivialFTP();

    TIdTFTPMode TransferMode() const { return transferMode_; }
    void SetTransferMode(TIdTFTPMode mode) { transferMode_ = mode; }

    int32_t RequestedBlockSize() const { return requestedBlockSize_; }
    void SetRequestedBlockSize(int32_t size) { requestedBlockSize_ = size; }

    // Opens the file for reading with no sharing (EFOpenError "Cannot open file
    // <path>" before anything is sent), uploads it whole and closes it.
    void UploadFile(const std::string& localPath, const std::string& remoteName);

    // Sends the bytes from the stream's position to its end. Returns when the server
    // has acknowledged the final block, or stayed silent for ReceiveTimeout after it
    // went out; raises otherwise.
    void UploadStream(TStream& source, const std::string& remoteName);

    // Where the last accepted datagram came from; empty and 0 after a time-out.
    std::string ReplyAddress() const { return reply_ ? reply_->AddressText() : std::string(); }
    int32_t ReplyPort() const { return reply_ ? reply_->port : 0; }

    // Takes the block size that an OACK grants: BufferSize becomes it plus the DATA
    // header. Raises EConvertError or EIdTFTPOptionNegotiationFailed for a bad value.
    void ApplyOptionAck(std::span<const uint8_t> datagram);

private:
    // The next datagram from the server, or nothing when ReceiveTimeout passed first.
    // Until the first reply any sender is the server; from then on only the first
    // reply's address and port are, and datagrams from any other are dropped unseen
    // without extending the wait.
    std::optional<TIdUDPDatagram> AwaitServer(bool serverKnown);

    // Sends the WRQ and runs the lock step for the left bytes of the source.
    void Transfer(TStream& source, int64_t left, const std::string& remoteName);

    TIdTFTPMode transferMode_ = tfOctet;
    int32_t requestedBlockSize_ = 1500;
    // Kept in binary: it is compared with every datagram's sender and receives every
    // DATA packet, and text is made only when someone asks for it.
    std::optional<TIdIPv4Endpoint> reply_;
};
