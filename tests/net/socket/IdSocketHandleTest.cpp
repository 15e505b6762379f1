#include "IdException.h"
#include "IdSocketHandle.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
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

TEST(IdSocketHandle, TimedReceiveWaitsAsLongAsEachCallAsks)
{
    using Clock = std::chrono::steady_clock;
    LoopbackPeer peer;
    TIdSocketHandle handle;
    handle.AllocateUdp();
    uint8_t buffer[16];

    const uint8_t ping = 0;
    handle.SendTo("127.0.0.1", peer.Port(), &ping, 1);
    peer.ReceiveAndAnswer({9, 8, 7});
    const auto datagram = handle.ReceiveFrom(buffer, sizeof buffer, 1000);
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->length, 3u);
    EXPECT_EQ(datagram->from, (TIdIPv4Endpoint{INADDR_LOOPBACK, peer.Port()}));

    auto start = Clock::now();
    EXPECT_FALSE(handle.ReceiveFrom(buffer, sizeof buffer, 0));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(20)) << "zero waited";
    start = Clock::now();
    EXPECT_FALSE(handle.ReceiveFrom(buffer, sizeof buffer, 60));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));

    // The 60 ms just used must not linger as a limit on a wait without one.
    handle.SendTo("127.0.0.1", peer.Port(), &ping, 1);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        peer.ReceiveAndAnswer({1});
    });
    EXPECT_TRUE(handle.ReceiveFrom(buffer, sizeof buffer, -1));
    late.join();
}

TEST(IdSocketHandle, SignalsDuringATimedReceiveNeitherEndNorStretchTheWait)
{
    using Clock = std::chrono::steady_clock;
    // A handler without SA_RESTART: each signal cuts the receive short with EINTR.
    struct sigaction quiet {};
    quiet.sa_handler = [](int) {};
    struct sigaction previous {};
    sigaction(SIGUSR1, &quiet, &previous);

    TIdSocketHandle handle;
    handle.AllocateUdp();
    uint8_t buffer[16];
    const pthread_t receiver = pthread_self();
    std::thread signaller([receiver] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            pthread_kill(receiver, SIGUSR1);
        }
    });
    const auto start = Clock::now();
    const bool received = handle.ReceiveFrom(buffer, sizeof buffer, 300).has_value();
    const auto waited = Clock::now() - start;
    signaller.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_FALSE(received);
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    // Starting the whole wait again after each signal would end past 500 ms.
    EXPECT_LT(waited, std::chrono::milliseconds(450));
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
