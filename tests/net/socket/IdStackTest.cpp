#include "IdException.h"
#include "IdStack.h"
#include "Testbed.h"

#include <gtest/gtest.h>

namespace {

TEST(IdStack, ResolvesLocalhostInAnyLetterCase)
{
    for (const char* name : {"LOCALHOST", "localhost", "LocalHost", "lOCALHOSt"})
        EXPECT_EQ(IdStack::ResolveHost(name), "127.0.0.1") << name;
}

TEST(IdStack, UsesADottedQuadUnchanged)
{
    for (const char* text : {"192.168.0.1", "0.0.0.0", "255.255.255.255", "010.001.0.7"})
        EXPECT_EQ(IdStack::ResolveHost(text), text);
}

TEST(IdStack, ParsesOnlyFourDecimalNumbersUpTo255)
{
    struct Case {
        const char* text;
        bool quad;
    };
    const Case cases[] = {
        {"1.2.3.4", true}, {"010.1.1.1", true}, {"1.2.3", false}, {"1.2.3.4.", false}, {"1.2.3.256", false},
        {"1.2.3.0004", false}, {" 1.2.3.4", false}, {"1.2.3.4 ", false}, {"1..3.4", false}, {"", false},
        {"0x1.2.3.4", false}, {"-1.2.3.4", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IdStack::ParseDottedQuad(c.text).has_value(), c.quad) << '"' << c.text << '"';
    EXPECT_EQ(*IdStack::ParseDottedQuad("010.1.1.1"), *IdStack::ParseDottedQuad("10.1.1.1"));
}

// A look-up that fails. It runs in a namespace of the test's own, where the query
// cannot leave the machine.
TEST(IdStack, FailedLookUpRaisesSocketError)
{
    SKIP_WITHOUT_NAMESPACES();
    Testbed testbed;
    NetnsScope inside(testbed.PcNamespace());
    for (const char* name : {"no-such-router.invalid", "", "192.0.2.2 "}) {
        try {
            IdStack::ResolveHost(name);
            ADD_FAILURE() << '"' << name << "\" resolved";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.Message().rfind("Socket Error # ", 0), 0u) << e.Message();
            EXPECT_NE(e.Message().find("\r\n"), std::string::npos) << e.Message();
        }
    }
}

TEST(IdStack, ConvertsSixteenBitsBetweenHostAndNetworkOrder)
{
    const uint16_t network = IdStack::HostToNetwork(0x0102);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&network);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x02);
    EXPECT_EQ(IdStack::NetworkToHost(network), 0x0102);
}

TEST(IdException, CarriesTheExactMessages)
{
    EXPECT_EQ(EIdSocketError(EMSGSIZE).Message(), "Socket Error # 90\r\nMessage too long");
    EXPECT_EQ(EIdSocketError(EMSGSIZE).LastError(), EMSGSIZE);
    EXPECT_STREQ(EIdInvalidSocket().what(), "Cannot allocate socket.");
    EXPECT_STREQ(EIdPackageSizeTooBig().what(), "Package Size Too Big.");
    EXPECT_STREQ(EIdNotAllBytesSent().what(), "Not all bytes sent.");
    EXPECT_STREQ(EIdUDPReceiveErrorZeroBytes().what(), "UDP Receive Error = 0.");
}

} // namespace
