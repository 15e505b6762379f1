#include "FormDoubles.h"
#include "StreamErrors.h"

#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

const QString Loading = "Загрузка прошивки в роутер.";

// The hand-over driven through the reply notification alone, with no network: the
// firmware path lies in a folder that does not exist, so an upload that starts
// fails at opening the file, before anything could be sent.
class HandOver : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.edtHost->setText("127.0.0.1");
        FirmwareFile = "/nonexistent-folder/firmware.bin";
        StopRequested = false;
    }

    TTestForm test;
    TForm1& form = *test.Form;
};

TEST_F(HandOver, TheTftpClientIsReadyForTheRouterFromTheStart)
{
    EXPECT_TRUE(form.TrivialFTP.Active());
    EXPECT_EQ(form.TrivialFTP.Port(), 69);
    EXPECT_EQ(form.TrivialFTP.ReceiveTimeout(), 4000);
    EXPECT_EQ(form.TrivialFTP.TransferMode(), tfOctet);
    EXPECT_EQ(form.TrivialFTP.RequestedBlockSize(), 1500);
}

TEST_F(HandOver, AnyOtherTtlLeavesOnlyTheMark)
{
    const struct {
        int ttl;
        TReplyKind kind;
    } cases[] = {
        {0, rkTimedOut}, {64, rkEcho}, {99, rkEcho}, {101, rkEcho}, {128, rkEcho}, {255, rkEcho}, {1, rkTtlExceeded},
    };
    QString marks;
    for (const auto& c : cases) {
        TReplyStatus reply;
        reply.Ttl = static_cast<uint8_t>(c.ttl);
        reply.Kind = c.kind;
        form.ICMPReply(form.ICMP, reply);
        marks += '>';
        EXPECT_EQ(form.lstReplies->Text(), marks) << "TTL " << c.ttl;
        EXPECT_FALSE(StopRequested) << "TTL " << c.ttl;
    }
}

// TTL 100 is all it takes, whatever kind of ICMP message carried it. The mark is
// written first, then the loading line, and only then is the file opened.
TEST_F(HandOver, TtlOneHundredStartsTheUploadWhateverTheMessage)
{
    for (const TReplyKind kind : {rkEcho, rkUnreachable, rkTtlExceeded, rkError}) {
        form.lstReplies->AddLine(QString());
        const QString before = form.lstReplies->Text();
        StopRequested = false;
        TReplyStatus reply;
        reply.Ttl = 100;
        reply.Kind = kind;
        try {
            form.ICMPReply(form.ICMP, reply);
            ADD_FAILURE() << "no upload for kind " << kind;
        } catch (const EFOpenError& error) {
            EXPECT_EQ(error.Message(), "Cannot open file /nonexistent-folder/firmware.bin");
        }
        EXPECT_EQ(form.lstReplies->Text(), before + ">\n" + Loading) << "kind " << kind;
        EXPECT_TRUE(StopRequested);
        EXPECT_EQ(form.TrivialFTP.Host(), "127.0.0.1");
    }
}

} // namespace
