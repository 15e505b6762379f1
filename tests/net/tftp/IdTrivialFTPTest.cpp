// The upload against a scripted server on loopback: what the client sends, where it
// sends it, and how each kind of reply ends or continues the transfer.
#include "BytesStream.h"
#include "IdTftpErrors.h"
#include "IdTftpPackets.h"
#include "IdTrivialFTP.h"
#include "ScriptedTftpServer.h"
#include "StrToInt.h"
#include "StreamErrors.h"
#include "TftpBytes.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <typeindex>

namespace {

using Server = ScriptedTftpServer;

std::vector<uint8_t> Ack(int32_t block)
{
    const auto number = PackWord(block);
    return Bytes({0, 4, number[0], number[1]});
}

std::vector<uint8_t> Oack(const std::string& blockSize) { return Bytes({0, 6, "blksize", 0, blockSize, 0}); }

std::vector<uint8_t> Error(int code, const std::string& text) { return Bytes({0, 5, 0, code, text, 0}); }

Server::Turn Reply(std::vector<uint8_t> bytes) { return {{Server::Transfer, std::move(bytes)}}; }

// The first reply, then the ACK of blocks 1 to blocks: a server that takes every block.
std::vector<Server::Turn> Lockstep(std::vector<uint8_t> firstReply, int32_t blocks)
{
    std::vector<Server::Turn> script{Reply(std::move(firstReply))};
    for (int32_t block = 1; block <= blocks; ++block)
        script.push_back(Reply(Ack(block)));
    return script;
}

struct DataPacket {
    uint16_t block;
    std::vector<uint8_t> payload;
    bool operator==(const DataPacket&) const = default;
};

// The client's DATA packets, all of which must have gone to the transfer port.
std::vector<DataPacket> DataSent(const std::vector<Server::Received>& received)
{
    std::vector<DataPacket> packets;
    for (std::size_t i = 1; i < received.size(); ++i) {
        const auto& bytes = received[i].bytes;
        EXPECT_EQ(received[i].at, Server::Transfer) << "datagram " << i;
        EXPECT_GE(bytes.size(), 4u);
        EXPECT_EQ(ReadOpcode(bytes), opData);
        if (bytes.size() >= 4)
            packets.push_back({UnpackWord(bytes.data() + 2), {bytes.begin() + 4, bytes.end()}});
    }
    return packets;
}

std::vector<uint8_t> Joined(const std::vector<DataPacket>& packets)
{
    std::vector<uint8_t> bytes;
    for (const auto& packet : packets)
        bytes.insert(bytes.end(), packet.payload.begin(), packet.payload.end());
    return bytes;
}

// A client aimed at the scripted server, recording its work notifications.
struct Client {
    explicit Client(const Server& server, int32_t receiveTimeout = 300)
    {
        tftp.SetHost("127.0.0.1");
        tftp.SetPort(server.ListenPort());
        tftp.SetReceiveTimeout(receiveTimeout);
        tftp.OnWorkBegin = [this](TIdComponent&, TWorkMode mode, int64_t total) {
            EXPECT_EQ(mode, wmWrite);
            begun = total;
        };
        tftp.OnWork = [this](TIdComponent&, TWorkMode mode, int64_t count) {
            EXPECT_EQ(mode, wmWrite);
            counts.push_back(count);
        };
        tftp.OnWorkEnd = [this](TIdComponent&, TWorkMode mode) {
            EXPECT_EQ(mode, wmWrite);
            ++ended;
        };
    }

    TIdTrivialFTP tftp;
    int64_t begun = -1;
    std::vector<int64_t> counts; // running totals
    int ended = 0;
};

struct Outcome {
    std::type_index raised = typeid(void);
    std::string message;
};

Outcome Attempt(const std::function<void()>& upload)
{
    try {
        upload();
    } catch (const Exception& error) {
        return {typeid(error), error.Message()};
    }
    return {};
}

TEST(TrivialFTPTransfer, SendsTheSourceInBlocksOfTheGrantedSizeToTheReplyPort)
{
    const struct {
        const char* name;
        std::vector<uint8_t> source;
        TIdTFTPMode mode;
        std::vector<uint8_t> firstReply;
        std::vector<std::size_t> payloads;
        int32_t bufferSize;
    } rows[] = {
        {"empty source", {}, tfOctet, Ack(0), {0}, 516},
        {"512 bytes, option ignored", Pattern(512), tfOctet, Ack(0), {512, 0}, 516},
        {"3000 bytes, 1500 granted", Pattern(3000), tfOctet, Oack("1500"), {1500, 1500, 0}, 1504},
        {"3000 bytes, 1024 granted", Pattern(3000), tfOctet, Oack("1024"), {1024, 1024, 952}, 1028},
        {"3000 bytes, 2048 granted", Pattern(3000), tfOctet, Oack("2048"), {2048, 952}, 2052},
        {"netascii sends the bytes unchanged", Bytes({"one\r\ntwo\nthree\r", 0, "\n"}), tfNetAscii, Ack(0), {17}, 516},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Server server(Lockstep(row.firstReply, static_cast<int32_t>(row.payloads.size())));
        Client client(server);
        client.tftp.SetTransferMode(row.mode);
        BytesStream source(row.source);
        client.tftp.UploadStream(source, "firmware.bin");
        const auto& received = server.Finish();

        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received[0].at, Server::Listen);
        EXPECT_EQ(received[0].bytes, MakeWriteRequest("firmware.bin", row.mode, 1500));
        const auto packets = DataSent(received);
        ASSERT_EQ(packets.size(), row.payloads.size());
        for (std::size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].block, i + 1);
            EXPECT_EQ(packets[i].payload.size(), row.payloads[i]);
        }
        EXPECT_EQ(Joined(packets), row.source);

        EXPECT_EQ(client.begun, static_cast<int64_t>(row.source.size()));
        ASSERT_EQ(client.counts.size(), row.payloads.size());
        EXPECT_EQ(client.counts.back(), static_cast<int64_t>(row.source.size()));
        EXPECT_EQ(client.ended, 1);
        EXPECT_FALSE(client.tftp.Active());
        EXPECT_EQ(client.tftp.BufferSize(), row.bufferSize);
        EXPECT_EQ(client.tftp.ReplyAddress(), "127.0.0.1");
        EXPECT_EQ(client.tftp.ReplyPort(), server.TransferPort());
    }
}

TEST(TrivialFTPTransfer, SendsThePacketInHandAgainForAReplyThatDoesNotAdvance)
{
    const struct {
        const char* name;
        std::vector<uint8_t> reply;
    } rows[] = {
        {"repeated ACK", Ack(4)},
        {"much older ACK", Ack(1)},
        {"DATA from the server", Bytes({0, 3, 0, 5, "data"})},
        {"unknown opcode", Bytes({0, 9, 0, 5})},
        {"one byte", Bytes({4})},
        {"ACK too short for a block number", Bytes({0, 4, 0})},
        {"ACK of 65535 for block 5", Ack(65535)},
        {"OACK again", Oack("512")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // Blocks 1 to 6, the sixth with 10 bytes; after DATA 5 comes the row's reply.
        auto script = Lockstep(Ack(0), 4);
        script.push_back(Reply(row.reply));
        for (int32_t block = 5; block <= 6; ++block)
            script.push_back(Reply(Ack(block)));
        Server server(script);
        Client client(server);
        const auto source = Pattern(5 * 512 + 10);
        BytesStream stream(source);
        client.tftp.UploadStream(stream, "firmware.bin");

        const auto packets = DataSent(server.Finish());
        ASSERT_EQ(packets.size(), 7u);
        EXPECT_EQ(packets[4].block, 5);
        EXPECT_EQ(packets[5], packets[4]);
        EXPECT_EQ(packets[6].block, 6);
        auto unique = packets;
        unique.erase(unique.begin() + 5);
        EXPECT_EQ(Joined(unique), source);
        // Progress counts new blocks only.
        EXPECT_EQ(client.counts, (std::vector<int64_t>{512, 1024, 1536, 2048, 2560, 2570}));
    }
}

TEST(TrivialFTPTransfer, AfterTheFinalBlockOnlyItsAckOrSilenceEndsIt)
{
    const struct {
        const char* name;
        std::vector<Server::Turn> afterFinal;
        std::size_t finalPackets; // how often DATA 2 went out
        std::type_index raised;
    } rows[] = {
        {"its ACK", {Reply(Ack(2))}, 1, typeid(void)},
        {"silence: the final ACK may never come", {}, 1, typeid(void)},
        {"a stale ACK, then its ACK", {Reply(Ack(1)), Reply(Ack(2))}, 2, typeid(void)},
        {"a stale ACK, then silence", {Reply(Ack(1))}, 2, typeid(void)},
        {"an ACK beyond it, then its ACK", {Reply(Ack(3)), Reply(Ack(2))}, 2, typeid(void)},
        {"an ACK of 65535, then its ACK", {Reply(Ack(65535)), Reply(Ack(2))}, 2, typeid(void)},
        {"DATA from the server, then its ACK", {Reply(Bytes({0, 3, 0, 1})), Reply(Ack(2))}, 2, typeid(void)},
        {"an ERROR", {Reply(Error(3, "Disk full"))}, 1, typeid(EIdTFTPAllocationExceeded)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto script = Lockstep(Ack(0), 1);
        script.insert(script.end(), row.afterFinal.begin(), row.afterFinal.end());
        Server server(script);
        Client client(server);
        const auto source = Pattern(700);
        BytesStream stream(source);
        const auto outcome = Attempt([&] { client.tftp.UploadStream(stream, "firmware.bin"); });
        EXPECT_EQ(outcome.raised, row.raised) << outcome.message;

        const auto packets = DataSent(server.Finish());
        ASSERT_EQ(packets.size(), 1 + row.finalPackets);
        for (std::size_t i = 1; i < packets.size(); ++i)
            EXPECT_EQ(packets[i], (DataPacket{2, {source.begin() + 512, source.end()}}));
        EXPECT_EQ(client.ended, 1);
        EXPECT_FALSE(client.tftp.Active());
    }
}

TEST(TrivialFTPTransfer, AFailureEndsTheTransferAtOnceAndSendsNothingMore)
{
    std::vector<uint8_t> oversized(600, 0);
    oversized[1] = 4;
    const struct {
        const char* name;
        int32_t blocksBefore; // DATA blocks sent before the failing reply
        std::vector<Server::Turn> reply;
        std::type_index raised;
        std::string message;
    } rows[] = {
        {"no reply to the write request", 0, {}, typeid(EIdTFTPException), "Timeout"},
        {"ERROR as the first reply", 0, {Reply(Error(1, "File not found"))}, typeid(EIdTFTPFileNotFound), "File not found"},
        {"no ACK for a block", 1, {}, typeid(EIdTFTPException), "Timeout"},
        {"ERROR 3 mid-transfer", 2, {Reply(Error(3, "Disk full"))}, typeid(EIdTFTPAllocationExceeded), "Disk full"},
        {"an empty datagram", 1, {Reply({})}, typeid(EIdUDPReceiveErrorZeroBytes), "UDP Receive Error = 0."},
        {"a datagram longer than BufferSize", 1, {Reply(oversized)}, typeid(EIdSocketError),
         EIdSocketError(EMSGSIZE).Message()},
        {"an OACK value that is no number", 0, {Reply(Oack("big"))}, typeid(EConvertError),
         "'big' is not a valid integer value"},
        {"an OACK block size of 0", 0, {Reply(Oack("0"))}, typeid(EIdTFTPOptionNegotiationFailed),
         "Block size 0 from the server is not in the range 1 to 65464"},
        {"an OACK block size too large for UDP", 0, {Reply(Oack("65465"))}, typeid(EIdTFTPOptionNegotiationFailed),
         "Block size 65465 from the server is not in the range 1 to 65464"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto script = row.blocksBefore > 0 ? Lockstep(Ack(0), row.blocksBefore - 1) : std::vector<Server::Turn>{};
        script.insert(script.end(), row.reply.begin(), row.reply.end());
        Server server(script);
        Client client(server);
        BytesStream stream(Pattern(5000));
        const auto outcome = Attempt([&] { client.tftp.UploadStream(stream, "firmware.bin"); });
        EXPECT_EQ(outcome.raised, row.raised) << outcome.message;
        EXPECT_EQ(outcome.message, row.message);

        const auto& received = server.Finish();
        EXPECT_EQ(received.size(), 1u + static_cast<std::size_t>(row.blocksBefore)) << "the WRQ is never repeated";
        EXPECT_EQ(DataSent(received).size(), static_cast<std::size_t>(row.blocksBefore));
        EXPECT_EQ(client.ended, 1);
        EXPECT_FALSE(client.tftp.Active());
    }
}

TEST(TrivialFTPTransfer, IgnoresEveryDatagramThatIsNotFromTheServersTransferPort)
{
    // A stranger's datagram of every kind, from another port of the server's host,
    // from another host, and from the port the write request went to.
    std::vector<Server::Send> strangers;
    for (const auto from : {Server::StrangerPort, Server::StrangerHost, Server::Listen})
        for (const auto& bytes : {Ack(1), Ack(2), Ack(65535), Error(1, "go away"), Oack("0"), Bytes({0, 3, 0, 1}),
                                  std::vector<uint8_t>{}, std::vector<uint8_t>(2000, 4)})
            strangers.push_back({from, bytes});

    std::vector<Server::Turn> script{Reply(Ack(0))};
    for (int32_t block = 1; block <= 3; ++block) {
        auto turn = strangers;
        turn.push_back({Server::Transfer, Ack(block)});
        script.push_back(turn);
    }
    Server server(script);
    Client client(server);
    const auto source = Pattern(2 * 512 + 1);
    BytesStream stream(source);
    client.tftp.UploadStream(stream, "firmware.bin");

    const auto packets = DataSent(server.Finish());
    ASSERT_EQ(packets.size(), 3u) << "a stranger's datagram was answered or acted on";
    EXPECT_EQ(Joined(packets), source);
    EXPECT_EQ(client.tftp.ReplyPort(), server.TransferPort());
}

TEST(TrivialFTPTransfer, AStrangersDatagramsDoNotProlongTheWaitForTheServer)
{
    // After DATA 1 the server falls silent while a stranger keeps sending for 3 s.
    Server::Turn flood;
    for (int i = 0; i < 60; ++i)
        flood.push_back({Server::StrangerPort, Ack(1), 50});
    Server server({Reply(Ack(0)), flood});
    Client client(server, 300);
    BytesStream stream(Pattern(1000));
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = Attempt([&] { client.tftp.UploadStream(stream, "firmware.bin"); });
    const auto waited = std::chrono::steady_clock::now() - started;

    EXPECT_EQ(outcome.message, "Timeout");
    EXPECT_LT(waited, std::chrono::milliseconds(1500)) << "the stranger's datagrams restarted the wait";
}

TEST(TrivialFTPTransfer, BlockNumbersWrapFrom65535ToZeroWithoutLosingOrRepeatingBytes)
{
    // One-byte blocks: 1 ... 65535, then 0 and 1 with the last two bytes, then an empty
    // 2. After block 0 went out, an ACK from before the wrap arrives once more, delayed
    // or repeated on the way: it asks for nothing new, so block 0 goes again and no
    // byte goes out under an old number that the server already has.
    for (const uint16_t late : {65535, 65534}) {
        SCOPED_TRACE(late);
        auto script = Lockstep(Oack("1"), 65535);
        script.push_back(Reply(Ack(late)));
        script.push_back(Reply(Ack(0)));
        script.push_back(Reply(Ack(1)));
        script.push_back(Reply(Ack(2)));
        Server server(script);
        Client client(server);
        const auto source = Pattern(65537);
        BytesStream stream(source);
        client.tftp.UploadStream(stream, "firmware.bin");

        const auto packets = DataSent(server.Finish());
        ASSERT_EQ(packets.size(), 65535u + 4u);
        const DataPacket blockZero{0, {source[65535]}};
        EXPECT_EQ(packets[65534].block, 65535);
        EXPECT_EQ(packets[65535], blockZero);
        EXPECT_EQ(packets[65536], blockZero);
        EXPECT_EQ(packets[65537], (DataPacket{1, {source[65536]}}));
        EXPECT_EQ(packets[65538], (DataPacket{2, {}}));
        auto unique = packets;
        unique.erase(unique.begin() + 65536);
        EXPECT_TRUE(Joined(unique) == source);
    }
}

TEST(TrivialFTPTransfer, AnAckOf65535AnsweringTheWriteRequestReadsNoBytes)
{
    Server server({{{Server::Transfer, Ack(65535)}, {Server::Transfer, Ack(0)}}, Reply(Ack(1))});
    Client client(server);
    const auto source = Pattern(100);
    BytesStream stream(source);
    client.tftp.UploadStream(stream, "firmware.bin");

    EXPECT_EQ(DataSent(server.Finish()), (std::vector<DataPacket>{{1, source}}));
}

TEST(TrivialFTPTransfer, SendsFromTheStreamsPositionToItsEnd)
{
    Server server(Lockstep(Ack(0), 2));
    Client client(server);
    const auto source = Pattern(1000);
    BytesStream stream(source);
    stream.SetPosition(100);
    client.tftp.UploadStream(stream, "firmware.bin");

    EXPECT_EQ(client.begun, 900);
    EXPECT_EQ(Joined(DataSent(server.Finish())), std::vector<uint8_t>(source.begin() + 100, source.end()));
    EXPECT_EQ(stream.Position(), 1000);
}

TEST(TrivialFTPTransfer, ASourceThatEndsEarlyFailsWithAReadError)
{
    // Claims 1000 bytes, yields 600.
    class ShortStream : public BytesStream {
    public:
        ShortStream() : BytesStream(Pattern(600)) {}
        int64_t Seek(int64_t offset, TSeekOrigin origin) override
        {
            return origin == soEnd ? 1000 + offset : BytesStream::Seek(offset, origin);
        }
    };
    Server server(Lockstep(Ack(0), 1));
    Client client(server);
    ShortStream stream;
    const auto outcome = Attempt([&] { client.tftp.UploadStream(stream, "firmware.bin"); });

    EXPECT_EQ(outcome.raised, typeid(EReadError));
    EXPECT_EQ(outcome.message, "Stream read error");
    EXPECT_EQ(DataSent(server.Finish()).size(), 1u);
    EXPECT_EQ(client.ended, 1);
    EXPECT_FALSE(client.tftp.Active());
}

TEST(TrivialFTPTransfer, AMissingFileSendsNothingAndTheNextUploadStillWorks)
{
    Server server(Lockstep(Ack(0), 1));
    Client client(server);
    client.tftp.SetActive(true);
    const std::string missing = (std::filesystem::temp_directory_path() / "no-such-dir" / "firmware.trx").string();
    const auto outcome = Attempt([&] { client.tftp.UploadFile(missing, "firmware.bin"); });
    EXPECT_EQ(outcome.raised, typeid(EFOpenError));
    EXPECT_EQ(outcome.message, "Cannot open file " + missing);
    EXPECT_EQ(client.begun, -1) << "no work is reported for a file that did not open";
    EXPECT_EQ(client.ended, 0);
    EXPECT_TRUE(client.tftp.Active()) << "the socket is not touched";

    std::string present = (std::filesystem::temp_directory_path() / "firmware-XXXXXX").string();
    close(mkstemp(present.data()));
    std::ofstream(present) << "firmware";
    client.tftp.UploadFile(present, "firmware.bin");
    std::filesystem::remove(present);

    const auto& received = server.Finish();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].at, Server::Listen);
    EXPECT_EQ(DataSent(received), (std::vector<DataPacket>{{1, Bytes({"firmware"})}}));
    EXPECT_FALSE(client.tftp.Active());
}

} // namespace
