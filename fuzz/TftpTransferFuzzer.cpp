// A whole upload driven by a fuzzed script of what the network brings: silences,
// the server's datagrams of any content, ACKs near the block in flight, OACKs, and
// datagrams from strangers. The client's two network operations are replaced, so no
// socket is opened and no time passes. Holds, whatever the script:
// - the write request goes to Host:Port, every later packet to the first replier;
// - a stranger's datagram is never answered and never ends the transfer;
// - every DATA packet is the one in hand again, byte for byte, or new data that is
//   the next bytes of the source: none sent twice as new, none skipped, none after
//   the final block, and progress counts the new bytes only;
// - a silence before the final block fails, after it succeeds, and success means the
//   whole source went out;
// - a server that takes every DATA packet it is sent as a real one does (the block it
//   expects, nothing else) and only ever acknowledges blocks it took holds the whole
//   source, in order, whenever the client reports success;
// - failures are of the documented classes only; any other exception aborts the run.

#include "BytesStream.h"
#include "FuzzCheck.h"
#include "IdException.h"
#include "IdIPv4Endpoint.h"
#include "IdTftpErrors.h"
#include "IdTftpPackets.h"
#include "IdTrivialFTP.h"
#include "StrToInt.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using TPeer = TIdIPv4Endpoint;

const TPeer Router{0x7F000001, 69};
const TPeer Server{0x7F000001, 50000};
const TPeer Strangers[] = {{0x7F000001, 50001}, {0x7F000002, 50000}, Router};

// What the script holds next: nothing, or one datagram and its sender.
struct TEvent {
    bool silence = true;
    TPeer from;
    std::vector<uint8_t> bytes;
};

class TScript {
public:
    TScript(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

    std::vector<uint8_t> Take(std::size_t count)
    {
        count = std::min(count, size_ - std::min(at_, size_));
        std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + count);
        at_ += count;
        return bytes;
    }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::vector<uint8_t> Ack(int block)
{
    const auto number = PackWord(block);
    return {0, 4, number[0], number[1]};
}

// The client under test, its network replaced by the script. It checks each packet
// as it goes out and keeps what the checks need.
class TScriptedClient : public TIdTrivialFTP {
public:
    TScriptedClient(TScript& script, std::vector<uint8_t> source, int64_t start)
        : script_(script), source_(std::move(source)), start_(start)
    {
        SetHost(Router.AddressText());
        SetPort(Router.port);
        OnWork = [this](TIdComponent&, TWorkMode, int64_t count) { workTotal_ = count; };
    }

    const TEvent& LastEvent() const { return last_; }
    const std::optional<TPeer>& Peer() const { return peer_; }
    bool FinalSent() const { return finalSent_; }
    bool AllSent() const { return start_ + sentAsNew_ == static_cast<int64_t>(source_.size()); }

    // What a real server would have written, and whether every datagram from the
    // server was one a real server could have sent: an ACK of a block it took (late
    // and repeated ones included), or an OACK or ACK 0 as the first reply.
    bool ServerHonest() const { return honest_; }
    bool ServerHoldsTheSource() const
    {
        return serverComplete_ && std::equal(serverFile_.begin(), serverFile_.end(), source_.begin() + start_, source_.end());
    }

protected:
    void SendBuffer(const TIdIPv4Endpoint& to, const uint8_t* data, std::size_t length) override
    {
        const std::vector<uint8_t> packet(data, data + length);
        if (!requestSent_) {
            FUZZ_REQUIRE(to == Router);
            FUZZ_REQUIRE(ReadOpcode(packet) == opWriteRequest);
            requestSent_ = true;
            return;
        }
        // Only the locked-on server is ever answered, and only right after it spoke.
        FUZZ_REQUIRE(peer_ && to == *peer_);
        FUZZ_REQUIRE(!last_.silence && last_.from == *peer_);

        FUZZ_REQUIRE(packet.size() >= DataHeaderSize && ReadOpcode(packet) == opData);
        Deliver(packet);
        if (packet == inHand_) {
            FUZZ_REQUIRE(workTotal_ == sentAsNew_);
            return;
        }
        FUZZ_REQUIRE(!finalSent_);
        const int64_t room = BufferSize() - static_cast<int64_t>(DataHeaderSize);
        const auto payload = static_cast<int64_t>(packet.size() - DataHeaderSize);
        const int64_t from = start_ + sentAsNew_;
        FUZZ_REQUIRE(payload <= room && from + payload <= static_cast<int64_t>(source_.size()));
        FUZZ_REQUIRE(std::equal(packet.begin() + DataHeaderSize, packet.end(), source_.begin() + from));
        sentAsNew_ += payload;
        FUZZ_REQUIRE(workTotal_ == sentAsNew_);
        if (payload < room) {
            FUZZ_REQUIRE(AllSent());
            finalSent_ = true;
        }
        inHand_ = packet;
    }

    std::optional<TIdUDPDatagram> ReceiveDatagram(int) override
    {
        last_ = NextEvent();
        if (last_.silence)
            return std::nullopt;
        if (!peer_)
            peer_ = last_.from;
        if (last_.from == *peer_)
            JudgeServer(last_.bytes);
        // Exactly sized, so that AddressSanitizer sees any read past the datagram.
        datagram_ = FuzzCheck::HeapCopy(last_.bytes.data(), last_.bytes.size());
        return TIdUDPDatagram{{datagram_.get(), last_.bytes.size()}, last_.from};
    }

private:
    // The server's side of every DATA packet: it takes the block it expects.
    void Deliver(const std::vector<uint8_t>& packet)
    {
        const int block = packet[2] << 8 | packet[3];
        if (serverComplete_ || block != (serverBlocks_ + 1) % 65536)
            return;
        serverFile_.insert(serverFile_.end(), packet.begin() + DataHeaderSize, packet.end());
        ++serverBlocks_;
        serverComplete_ = packet.size() - DataHeaderSize < static_cast<std::size_t>(BufferSize()) - DataHeaderSize;
    }

    void JudgeServer(const std::vector<uint8_t>& datagram)
    {
        const bool first = !answered_;
        answered_ = true;
        const auto block = ReadAckBlock(datagram);
        if (ReadOpcode(datagram) == opAck && block && *block <= serverBlocks_)
            return;
        if (first && ReadOpcode(datagram) == opOptionAck)
            return;
        honest_ = false;
    }

    TEvent NextEvent()
    {
        if (script_.Empty())
            return {};
        const uint8_t head = script_.Next();
        const TPeer server = peer_.value_or(Server);
        const int inFlight = inHand_.empty() ? 0 : inHand_[2] << 8 | inHand_[3];
        switch (head % 6) {
        case 0:
            return {};
        case 1:
            return {false, server, Ack(inFlight)};
        case 2:
            return {false, server, Ack(inFlight + static_cast<int8_t>(script_.Next()))};
        case 3: {
            const int value = script_.Next() << 8 | script_.Next();
            const std::string digits = std::to_string(value);
            std::vector<uint8_t> oack{0, 6, 'b', 'l', 'k', 's', 'i', 'z', 'e', 0};
            oack.insert(oack.end(), digits.begin(), digits.end());
            oack.push_back(0);
            return {false, server, oack};
        }
        case 4:
            return {false, server, script_.Take(script_.Next())};
        default:
            return {false, Strangers[(head / 6) % std::size(Strangers)], script_.Take(script_.Next())};
        }
    }

    TScript& script_;
    const std::vector<uint8_t> source_;
    const int64_t start_;
    std::optional<TPeer> peer_;
    TEvent last_;
    std::unique_ptr<uint8_t[]> datagram_;
    bool requestSent_ = false;
    std::vector<uint8_t> inHand_;
    int64_t sentAsNew_ = 0;
    int64_t workTotal_ = 0;
    bool finalSent_ = false;
    bool answered_ = false;
    bool honest_ = true;
    std::vector<uint8_t> serverFile_;
    int serverBlocks_ = 0;
    bool serverComplete_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    TScript script(data, size);
    // Up to eight blocks of the default size, and a start anywhere in the source.
    const std::size_t length = (script.Next() << 8 | script.Next()) % 4097;
    const int64_t start = static_cast<int64_t>(script.Next() % (length + 1));
    std::vector<uint8_t> source = Pattern(length);
    BytesStream stream(source);
    stream.SetPosition(start);

    TScriptedClient client(script, std::move(source), start);
    bool succeeded = false;
    std::string failure;
    try {
        client.UploadStream(stream, "firmware.bin");
        succeeded = true;
    } catch (const EIdTFTPException& e) {
        // A server's error of any code, or the client's own time-out.
        failure = e.Message();
    } catch (const EConvertError& e) {
        failure = e.Message();
    } catch (const EIdUDPReceiveErrorZeroBytes& e) {
        failure = e.Message();
    } catch (const EIdSocketError& e) {
        // Only a datagram longer than the buffer fails the receive here.
        FUZZ_REQUIRE(e.LastError() == EMSGSIZE);
        failure = e.Message();
    }

    const TEvent& last = client.LastEvent();
    if (last.silence) {
        // Silence after the final block is success, as boot loaders that never
        // acknowledge it need; before it, the transfer has failed.
        FUZZ_REQUIRE(succeeded == client.FinalSent());
        FUZZ_REQUIRE(succeeded || failure == "Timeout");
    } else {
        // Neither outcome comes of a stranger's datagram.
        FUZZ_REQUIRE(client.Peer() && last.from == *client.Peer());
    }
    if (succeeded) {
        FUZZ_REQUIRE(client.FinalSent() && client.AllSent());
        if (client.ServerHonest())
            FUZZ_REQUIRE(client.ServerHoldsTheSource());
    }
    return 0;
}
