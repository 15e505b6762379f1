#include "IdException.h"
#include "IdSocketHandle.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

// A plain UDP peer on 127.0.0.1 that the handle under test talks to.
class LoopbackPeer {
public:
    LoopbackPeer()
    {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&self), sizeof self);
        socklen_t length = sizeof self;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &length);
        port_ = ntohs(self.sin_port);
    }
    ~LoopbackPeer() { close(fd_); }

    uint16_t Port() const { return port_; }

    // Receives one datagram and answers its sender with `reply`.
    std::vector<uint8_t> ReceiveAndAnswer(const std::vector<uint8_t>& reply)
    {
        std::vector<uint8_t> got(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(fd_, got.data(), got.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        return got;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

TEST(IdSocketHandle, SendsAndReceivesWholeDatagramsWithTheirSource)
{
    LoopbackPeer peer;
    TIdSocketHandle handle;
    handle.AllocateUdp();
    const std::vector<uint8_t> request{1, 2, 3};
    handle.SendTo("127.0.0.1", peer.Port(), request.data(), request.size());
    EXPECT_EQ(peer.ReceiveAndAnswer({9, 8, 7, 6}), request);

    ASSERT_TRUE(handle.Readable(1000));
    uint8_t buffer[4] = {};
    const auto datagram = handle.ReceiveFrom(buffer, sizeof buffer);
    EXPECT_EQ(datagram.length, 4u);
    EXPECT_EQ(datagram.from.AddressText(), "127.0.0.1");
    EXPECT_EQ(datagram.from.port, peer.Port());
    EXPECT_EQ(buffer[3], 6);
}

TEST(IdSocketHandle, DatagramLongerThanTheBufferIsAnErrorNotATruncation)
{
    LoopbackPeer peer;
    TIdSocketHandle handle;
    handle.AllocateUdp();
    const uint8_t ping = 0;
    handle.SendTo("127.0.0.1", peer.Port(), &ping, 1);
    peer.ReceiveAndAnswer(std::vector<uint8_t>(517, 0xAB));

    ASSERT_TRUE(handle.Readable(1000));
    uint8_t buffer[516];
    try {
        handle.ReceiveFrom(buffer, sizeof buffer);
        FAIL() << "a 517-byte datagram fitted a 516-byte buffer";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.LastError(), EMSGSIZE);
        EXPECT_EQ(e.Message(), "Socket Error # 90\r\nMessage too long");
    }
}

TEST(IdSocketHandle, WaitEndsAfterItsTimeOutWhenNothingComes)
{
    TIdSocketHandle handle;
    handle.AllocateUdp();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(handle.Readable(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_FALSE(handle.Readable(0));
}

TEST(IdSocketHandle, OversizedDatagramRaisesPackageSizeTooBig)
{
    LoopbackPeer peer;
    TIdSocketHandle handle;
    handle.AllocateUdp();
    const std::vector<uint8_t> huge(70000);
    EXPECT_THROW(handle.SendTo("127.0.0.1", peer.Port(), huge.data(), huge.size()), EIdPackageSizeTooBig);
}

TEST(IdSocketHandle, CloseReleasesTheSocketAndMayBeRepeated)
{
    TIdSocketHandle handle;
    handle.AllocateUdp();
    EXPECT_TRUE(handle.Allocated());
    handle.Close();
    EXPECT_FALSE(handle.Allocated());
    handle.Close();
}

} // namespace
