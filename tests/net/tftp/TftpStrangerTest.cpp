// A third party forges the server's packets while an upload runs: ACKs of the block
// the client is waiting for, of the final block and beyond, ERRORs and a shrinking
// OACK, from another port of the server's host, from another host with the server's
// port number, and from the port the write request went to. The client follows only
// the first reply's address and port, so the upload must end as if the forger were
// not there: success, and a file on the server identical to the source.
#include "BytesStream.h"
#include "IdTftpPackets.h"
#include "IdTrivialFTP.h"
#include "ScriptedTftpServer.h"
#include "TftpBytes.h"

#include <gtest/gtest.h>

namespace {

using Server = ScriptedTftpServer;

constexpr int32_t BlockSize = 1500;
constexpr int32_t Blocks = 100; // the last one short, so it is the final block

std::vector<uint8_t> Ack(int32_t block)
{
    const auto number = PackWord(block);
    return Bytes({0, 4, number[0], number[1]});
}

// What a forger most wants the client to believe while it waits for the ACK of
// `block`: that it came, that the transfer is over, or that it failed.
std::vector<Server::Send> Forgeries(Server::Socket from, int32_t block)
{
    std::vector<Server::Send> sends;
    for (const auto& bytes : {Ack(block), Ack(block + 1), Ack(Blocks), Ack(65535), Bytes({0, 5, 0, 0, "forged", 0}),
                              Bytes({0, 5, 0, 2, "Access violation", 0}), Bytes({0, 6, "blksize", 0, "8", 0}),
                              std::vector<uint8_t>{}})
        sends.push_back({from, bytes});
    return sends;
}

// An honest server granting 1500-byte blocks that acknowledges every block once. The
// forger's packets come both before the server's reply and right after it, where
// they reach the client while it waits for the ACK of the block it has just sent.
std::vector<Server::Turn> ScriptWithForger(Server::Socket forger)
{
    std::vector<Server::Turn> script;
    for (int32_t block = 0; block <= Blocks; ++block) {
        Server::Turn turn = block == 0 ? Server::Turn{} : Forgeries(forger, block);
        turn.push_back({Server::Transfer, block == 0 ? Bytes({0, 6, "blksize", 0, "1500", 0}) : Ack(block)});
        if (block < Blocks) {
            const auto after = Forgeries(forger, block + 1);
            turn.insert(turn.end(), after.begin(), after.end());
        }
        script.push_back(turn);
    }
    return script;
}

// The file as a real server writes it: each DATA block that it expects, in order,
// until the first short one. Packets to any other socket are counted as lost.
struct ServerFile {
    std::vector<uint8_t> bytes;
    bool complete = false;
    std::size_t elsewhere = 0;
};

ServerFile Written(const std::vector<Server::Received>& received)
{
    ServerFile file;
    uint16_t expected = 1;
    for (std::size_t i = 1; i < received.size(); ++i) {
        const auto& packet = received[i].bytes;
        if (received[i].at != Server::Transfer) {
            ++file.elsewhere;
            continue;
        }
        if (file.complete || packet.size() < 4 || ReadOpcode(packet) != opData || UnpackWord(packet.data() + 2) != expected)
            continue;
        file.bytes.insert(file.bytes.end(), packet.begin() + 4, packet.end());
        file.complete = packet.size() - 4 < static_cast<std::size_t>(BlockSize);
        ++expected;
    }
    return file;
}

TEST(TftpStranger, ForgedAcksAndErrorsFromAnotherPortOrHostLeaveTheUploadWhole)
{
    const struct {
        const char* name;
        Server::Socket forger;
    } rows[] = {
        {"another port of the server's host", Server::StrangerPort},
        {"another host, from the server's port number", Server::StrangerHost},
        {"the port the write request went to", Server::Listen},
    };
    const auto source = Pattern((Blocks - 1) * BlockSize + 321);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Server server(ScriptWithForger(row.forger));
        TIdTrivialFTP client;
        client.SetHost("127.0.0.1");
        client.SetPort(server.ListenPort());
        client.SetReceiveTimeout(1000);
        BytesStream stream(source);

        EXPECT_NO_THROW(client.UploadStream(stream, "firmware.bin"));
        const auto& received = server.Finish();

        const ServerFile file = Written(received);
        EXPECT_EQ(file.elsewhere, 0u) << "the client answered the forger";
        EXPECT_TRUE(file.complete);
        EXPECT_TRUE(file.bytes == source) << "the server holds " << file.bytes.size() << " of " << source.size() << " bytes";
        // One write request and one DATA packet per block: no forgery was acted on.
        EXPECT_EQ(received.size(), 1u + Blocks);
        EXPECT_EQ(client.BufferSize(), BlockSize + 4);
        EXPECT_EQ(client.ReplyPort(), server.TransferPort());
    }
}

} // namespace
