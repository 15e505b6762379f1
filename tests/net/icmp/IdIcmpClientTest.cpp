#include "IdIcmpClient.h"
#include "IdStack.h"
#include "Testbed.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

// The client with its request buffer in view.
class InspectedClient : public TIdIcmpClient {
public:
    using TIdIcmpClient::BuildEchoRequest;
    using TIdIcmpClient::NextSequence;
    using TIdIcmpClient::RequestBuffer;
    using TIdIcmpClient::RequestLength;

    uint16_t SequenceSent() const { return static_cast<uint16_t>(RequestBuffer()[6] | RequestBuffer()[7] << 8); }
};

std::size_t OpenDescriptors()
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

TEST(TIdIcmpClient, StartsWithItsDefaultsAndNoSocket)
{
    const std::size_t before = OpenDescriptors();
    TIdIcmpClient client;
    EXPECT_EQ(client.Host(), "");
    EXPECT_EQ(client.Port(), 0);
    EXPECT_EQ(client.Protocol(), 1);
    EXPECT_EQ(client.ReceiveTimeout(), 5000);
    EXPECT_EQ(client.BufferSize(), 8192);
    EXPECT_EQ(client.OutgoingTtl(), 128);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(TIdIcmpClient, SequenceCountsFromZeroAndWrapsAfter65535)
{
    InspectedClient client;
    client.BuildEchoRequest();
    EXPECT_EQ(client.SequenceSent(), 0);
    EXPECT_EQ(client.RequestLength(), 52);
    client.BuildEchoRequest();
    EXPECT_EQ(client.SequenceSent(), 1);
    while (client.NextSequence() != 65535)
        client.BuildEchoRequest();
    client.BuildEchoRequest();
    EXPECT_EQ(client.SequenceSent(), 65535);
    client.BuildEchoRequest();
    EXPECT_EQ(client.SequenceSent(), 0);
}

TEST(TIdIcmpClient, RequestCarriesTheProcessIdentifier)
{
    InspectedClient client;
    client.BuildEchoRequest();
    const uint16_t pid = static_cast<uint16_t>(IdStack::CurrentProcessId());
    EXPECT_EQ(client.RequestBuffer()[4], pid & 0xFF);
    EXPECT_EQ(client.RequestBuffer()[5], pid >> 8);
    EXPECT_EQ(client.RequestBuffer()[52], 0) << "bytes past the request stay cleared";
}

// Real probes. Each runs on the pc side of a fresh pair of test hosts.
class EchoProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_NAMESPACES();
        testbed_.emplace();
        inside_.emplace(testbed_->PcNamespace());
        client_.SetReceiveTimeout(300);
        client_.OnReply = [this](TIdIcmpClient&, const TReplyStatus& status) {
            replies_.push_back(status);
            descriptorsDuringReply_ = OpenDescriptors();
        };
    }

    std::optional<Testbed> testbed_;
    std::optional<NetnsScope> inside_;
    TIdIcmpClient client_;
    std::vector<TReplyStatus> replies_;
    std::size_t descriptorsDuringReply_ = 0;
};

TEST_F(EchoProbe, RouterInRescueModeAnswersWithTtl100)
{
    client_.SetHost(Testbed::RouterAddress);
    const std::size_t before = OpenDescriptors();
    client_.ProbeOnce();
    client_.ProbeOnce();

    ASSERT_EQ(replies_.size(), 2u);
    for (uint16_t i = 0; i < 2; ++i) {
        EXPECT_EQ(replies_[i].Kind, rkEcho);
        EXPECT_EQ(replies_[i].IcmpType, 0);
        EXPECT_EQ(replies_[i].Ttl, 100);
        EXPECT_EQ(replies_[i].ReceivedBytes, 72);
        EXPECT_EQ(replies_[i].SourceAddress, Testbed::RouterAddress);
        EXPECT_EQ(replies_[i].Sequence, i);
        EXPECT_LT(replies_[i].RoundTripMs, 300u);
    }
    EXPECT_EQ(descriptorsDuringReply_, before + 1) << "the notification comes while the socket is open";
    EXPECT_EQ(OpenDescriptors(), before) << "the socket is closed after the probe";
}

TEST_F(EchoProbe, RequestReachesTheRouterExactlyAsBuilt)
{
    TIdSocketHandle listener;
    {
        NetnsScope router(testbed_->RouterNamespace());
        listener.AllocateRaw(IPPROTO_ICMP);
    }
    client_.SetHost(Testbed::RouterAddress);
    client_.ProbeOnce();

    ASSERT_TRUE(listener.Readable(1000));
    std::vector<uint8_t> seen(1024);
    seen.resize(listener.ReceiveFrom(seen.data(), seen.size()).length);
    ASSERT_EQ(seen.size(), 72u) << "a 20-byte IP header and the 52-byte request";
    EXPECT_EQ(seen[8], 128) << "IP time-to-live";
    const std::vector<uint8_t> icmp(seen.begin() + 20, seen.end());
    const uint32_t timestamp = icmp[8] | icmp[9] << 8 | icmp[10] << 16 | static_cast<uint32_t>(icmp[11]) << 24;
    std::vector<uint8_t> expected(52);
    IdRawHeaders::WriteEchoRequest(expected.data(), static_cast<uint16_t>(IdStack::CurrentProcessId()), 0, timestamp);
    EXPECT_EQ(icmp, expected);
}

TEST_F(EchoProbe, LocalhostInAnyCaseProbesLoopback)
{
    // On loopback the raw socket sees our own request first: it counts as an echo.
    client_.SetHost("LocalHost");
    client_.ProbeOnce();
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].Kind, rkEcho);
    EXPECT_EQ(replies_[0].IcmpType, 8);
    EXPECT_EQ(replies_[0].Ttl, 128) << "every request leaves with TTL 128";
    EXPECT_EQ(replies_[0].SourceAddress, "127.0.0.1");
}

TEST_F(EchoProbe, RouterSwitchedOffGivesTheTimeOutRecord)
{
    testbed_->SetRouterLink(false);
    client_.SetHost(Testbed::RouterAddress);
    const std::size_t before = OpenDescriptors();
    const auto start = std::chrono::steady_clock::now();
    client_.ProbeOnce();
    const auto waited = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].Kind, rkTimedOut);
    EXPECT_EQ(replies_[0].ReceivedBytes, 0);
    EXPECT_EQ(replies_[0].SourceAddress, "0.0.0.0");
    EXPECT_EQ(replies_[0].Sequence, 1) << "one more than the unanswered request's";
    EXPECT_EQ(replies_[0].Ttl, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_EQ(OpenDescriptors(), before);

    testbed_->SetRouterLink(true);
    client_.ProbeOnce();
    ASSERT_EQ(replies_.size(), 2u);
    EXPECT_EQ(replies_[1].Ttl, 100) << "the router answers once it is back";
}

TEST_F(EchoProbe, SettingTheOutgoingTtlOpensTheSocketAtOnce)
{
    const std::size_t before = OpenDescriptors();
    client_.SetOutgoingTtl(128);
    EXPECT_EQ(OpenDescriptors(), before + 1);
}

TEST_F(EchoProbe, UnresolvableHostRaisesWithoutNotification)
{
    client_.SetHost("no-such-router.invalid");
    EXPECT_THROW(client_.ProbeOnce(), EIdSocketError);
    EXPECT_TRUE(replies_.empty());
    client_.SetHost(Testbed::RouterAddress);
    client_.ProbeOnce();
    ASSERT_EQ(replies_.size(), 1u);
    EXPECT_EQ(replies_[0].Sequence, 1) << "the failed probe still used sequence 0";
}

TEST_F(EchoProbe, HandlerErrorPassesOutAndLeavesTheSocketOpen)
{
    client_.SetHost(Testbed::RouterAddress);
    client_.OnReply = [](TIdIcmpClient&, const TReplyStatus&) { throw EIdException("handler failed"); };
    const std::size_t before = OpenDescriptors();
    EXPECT_THROW(client_.ProbeOnce(), EIdException);
    EXPECT_EQ(OpenDescriptors(), before + 1);
}

// Drops the right to open raw sockets, as for an ordinary user, then aims the client.
[[noreturn]] void AimWithoutRawSocketRights()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    syscall(SYS_capget, &header, data);
    data[0].effective &= ~(1u << CAP_NET_RAW);
    syscall(SYS_capset, &header, data);
    TIdIcmpClient client;
    try {
        client.SetOutgoingTtl(128);
    } catch (const EIdInvalidSocket& e) {
        std::fprintf(stderr, "%s", e.what());
        std::exit(0);
    }
    std::exit(1);
}

TEST(TIdIcmpClientRights, RefusedRawSocketRaisesCannotAllocateSocket)
{
    SKIP_WITHOUT_NAMESPACES();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(AimWithoutRawSocketRights(), ::testing::ExitedWithCode(0), "^Cannot allocate socket\\.$");
}

} // namespace
