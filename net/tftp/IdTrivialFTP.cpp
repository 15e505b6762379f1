#include "IdTrivialFTP.h"

#include "FileStream.h"
#include "IdTftpErrors.h"
#include "IdTftpPackets.h"
#include "ReadAhead.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The payload every server takes when the block-size option is not acknowledged.
constexpr int32_t DefaultBlockSize = 512;

// The highest block number; the one after it is 0.
constexpr int32_t LastBlockNumber = 65535;

// The source is read in pieces of this size rather than a block at a time: at a block
// size of 1500 that is one read for 43 blocks instead of one for each.
constexpr std::size_t ReadAheadSize = 64 * 1024;

// Whether an ACK of `block` is one from before the block in hand, read on the 16-bit
// circle of block numbers (RFC 1982 serial arithmetic), so that it still reads as
// late once the numbers have wrapped.
bool Precedes(uint16_t block, int32_t inHand)
{
    const auto behind = static_cast<uint16_t>(inHand - block);
    return behind != 0 && behind < 0x8000;
}

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

} // namespace

TIdTrivialFTP::TIdTrivialFTP()
{
    SetPort(69);
    SetReceiveTimeout(4000);
}

void TIdTrivialFTP::UploadFile(const std::string& localPath, const std::string& remoteName)
{
    TFileStream source(localPath);
    UploadStream(source, remoteName);
}

void TIdTrivialFTP::UploadStream(TStream& source, const std::string& remoteName)
{
    const int64_t total = source.Size() - source.Position();
    BeginWork(wmWrite, total);
    // Whatever ends the transfer, its socket goes with it; the next one opens afresh.
    struct SocketCloser {
        TIdTrivialFTP& client;
        ~SocketCloser() { client.CloseBinding(); }
    } closer{*this};
    try {
        Transfer(source, total, remoteName);
    } catch (...) {
        EndWork(wmWrite);
        throw;
    }
    EndWork(wmWrite);
}

void TIdTrivialFTP::ApplyOptionAck(std::span<const uint8_t> datagram)
{
    if (const auto blockSize = ReadOptionAckBlockSize(datagram))
        SetBufferSize(*blockSize + static_cast<int32_t>(DataHeaderSize));
}

void TIdTrivialFTP::Transfer(TStream& source, int64_t left, const std::string& remoteName)
{
    SetBufferSize(DefaultBlockSize + static_cast<int32_t>(DataHeaderSize));
    const auto request = MakeWriteRequest(remoteName, transferMode_, requestedBlockSize_);
    SendBuffer(request.data(), request.size());

    int32_t nextBlock = 1;     // the block the server asks for
    int32_t lastSentBlock = 0; // the block in hand; -1 just after the numbers wrapped
    bool finalBlockSent = false;
    bool wrapped = false;
    bool serverKnown = false;
    std::vector<uint8_t> outPacket; // the packet in hand, sent again while the transfer does not advance
    TReadAhead reader(source, ReadAheadSize);
    while (true) {
        const auto reply = AwaitServer(serverKnown);
        if (!reply) {
            // Some boot loaders never acknowledge the final block, so silence after it
            // counts as success.
            if (finalBlockSent)
                return;
            throw EIdTFTPException("Timeout");
        }
        serverKnown = true;

        switch (ReadOpcode(reply->bytes)) {
        case opAck:
            if (const auto block = ReadAckBlock(reply->bytes)) {
                if (finalBlockSent) {
                    // Only the final block's own ACK ends the transfer; any other is
                    // a repeat and gets the final packet again.
                    if (*block == static_cast<uint16_t>(lastSentBlock))
                        return;
                } else if (wrapped && Precedes(*block, lastSentBlock)) {
                    // A late ACK from before the wrap, delayed or duplicated on the
                    // way: taken at face value it would send the next bytes under an
                    // old number that the server already has, and they would be lost.
                    nextBlock = lastSentBlock;
                } else if (*block < LastBlockNumber) {
                    nextBlock = *block + 1;
                } else if (lastSentBlock == LastBlockNumber) {
                    // Block numbers wrap: 0 follows 65535 as a new block.
                    nextBlock = 0;
                    lastSentBlock = -1;
                    wrapped = true;
                } else {
                    // An ACK of 65535 for a block not just sent is a repeat: no new
                    // bytes, so every byte reaches the server once and in order.
                    nextBlock = lastSentBlock;
                }
            }
            break;
        case opError:
            RaiseServerError(reply->bytes);
        case opOptionAck:
            ApplyOptionAck(reply->bytes);
            break;
        default:
            break;
        }

        if (lastSentBlock < nextBlock) {
            const int64_t room = BufferSize() - static_cast<int64_t>(DataHeaderSize);
            const int64_t payload = std::min(room, left);
            const auto header = MakeDataHeader(nextBlock);
            outPacket.resize(DataHeaderSize + static_cast<std::size_t>(payload));
            std::copy(header.begin(), header.end(), outPacket.begin());
            reader.ReadBuffer(outPacket.data() + DataHeaderSize, payload);
            left -= payload;
            DoWork(wmWrite, payload);
            finalBlockSent = payload < room;
            lastSentBlock = nextBlock;
        }
        // Nothing is in hand only when the first reply was an ACK of 65535.
        if (!outPacket.empty())
            SendBuffer(*reply_, outPacket.data(), outPacket.size());
    }
}

std::optional<TIdUDPDatagram> TIdTrivialFTP::AwaitServer(bool serverKnown)
{
    const bool limited = ReceiveTimeout() >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(ReceiveTimeout(), 0));
    while (true) {
        auto datagram = ReceiveDatagram(limited ? MillisecondsUntil(deadline) : -1);
        // Once the server has answered, its address and port are the transfer's ID
        // (RFC 1350): another sender's datagram is no part of the transfer, whatever
        // it holds, and the wait for the server goes on.
        if (datagram && serverKnown && datagram->from != *reply_) {
            if (!limited || Clock::now() < deadline)
                continue;
            datagram.reset();
        }
        if (!datagram) {
            reply_.reset();
            return std::nullopt;
        }
        reply_ = datagram->from;
        CheckDatagram(*datagram);
        return datagram;
    }
}
