#include "ErrorMessage.h"
#include "WindowOnTestbed.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace {

const QString PowerCycle = "Отключите питание от роутера и подключите его заново.";
const QString NoFile = "Файл не выбран.";

// The window in the pc namespace of a testbed, aimed at its router. The router
// answers with TTL 64 unless a test switches it off, so that no reply here is taken
// for the rescue mode.
class ProbeLoop : public WindowOnTestbed {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_NAMESPACES();
        bed.emplace();
        bed->SetRouterTtl(64);
        OpenWindow();
    }

    int Marks() { return static_cast<int>(form().lstReplies->Text().count('>')); }

    // What a person does in the event pass that follows the n-th reply of the run.
    void AfterReply(int n, std::function<void()> action) { AtReply(n, std::move(action)); }
    void StopAfterReply(int n)
    {
        AfterReply(n, [this] { form().Button2->click(); });
    }
};

TEST_F(ProbeLoop, RouterOffLeavesOneBlackMarkPerTimeOutUntilStop)
{
    bed->SetRouterLink(false);
    chooser().Confirm("/srv/firmware/router.trx");
    StopAfterReply(4);

    QElapsedTimer clock;
    clock.start();
    form().Button1->click();
    const qint64 elapsed = clock.elapsed();

    // Stop came in the pass after the fourth probe, and no probe followed it.
    ASSERT_EQ(replies.size(), 4u);
    for (const auto& reply : replies)
        EXPECT_EQ(reply.Kind, rkTimedOut);
    EXPECT_GE(elapsed, 4 * 300);
    EXPECT_LT(elapsed, 4 * 300 + 400);

    const QString text = form().lstReplies->Text();
    EXPECT_EQ(text, PowerCycle + "\n\n>>>>");
    for (int i = 0; i < text.size(); ++i)
        EXPECT_EQ(form().lstReplies->CharColour(i), i < PowerCycle.size() + 2 ? clRed : clBlack) << "at " << i;
    EXPECT_TRUE(form().Button1->isEnabled());
    EXPECT_EQ(FirmwareFile, "/srv/firmware/router.trx");
    EXPECT_TRUE(errors().isEmpty());
}

// Start without a file, with one, and both again: where each run's lines go, in
// which colour, and that the dialog comes back with the last file.
TEST_F(ProbeLoop, RunsFollowOneAnotherInTheLog)
{
    struct Piece {
        QString text;
        TColor colour;
    };
    std::vector<Piece> expected;
    const auto run = [&](std::optional<QString> file, int probes) {
        replies.clear();
        if (file) {
            chooser().Confirm(*file);
            StopAfterReply(probes);
        } else {
            chooser().Cancel();
        }
        form().Button1->click();
        EXPECT_EQ(static_cast<int>(replies.size()), probes);
        EXPECT_TRUE(form().Button1->isEnabled());
    };

    run(std::nullopt, 0);
    expected.push_back({NoFile + "\n", clWindowText});
    run("/srv/a.trx", 2);
    expected.push_back({PowerCycle + "\n\n", clRed});
    expected.push_back({">>", clBlack});
    run(std::nullopt, 0);
    expected.push_back({"\n" + NoFile, clBlack});
    run("/srv/b.bin", 1);
    expected.push_back({"\n" + PowerCycle + "\n", clRed});
    expected.push_back({">", clBlack});

    QString text;
    std::vector<TColor> colours;
    for (const auto& piece : expected) {
        text += piece.text;
        colours.insert(colours.end(), piece.text.size(), piece.colour);
    }
    ASSERT_EQ(form().lstReplies->Text(), text);
    for (int i = 0; i < text.size(); ++i)
        EXPECT_EQ(form().lstReplies->CharColour(i), colours[i]) << "at " << i;

    const QString startedWith[] = {"", "", "/srv/a.trx", "/srv/a.trx"};
    ASSERT_EQ(chooser().Requests.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(chooser().Requests[i].FileName, startedWith[i]) << "run " << i + 1;
    EXPECT_EQ(FirmwareFile, "/srv/b.bin");
}

// Stop passes over the pending events before it sets the flag, so a Start pressed
// right after it runs nested in that pass: its own run, after which both loops end.
TEST_F(ProbeLoop, StartPressedDuringStopsPassRunsNestedAndBothLoopsEnd)
{
    chooser().Confirm("/srv/a.trx");
    chooser().Confirm("/srv/b.bin");
    AfterReply(2, [this] {
        QTimer::singleShot(0, [this] { form().Button1->click(); });
        form().Button2->click();
    });
    StopAfterReply(5);
    form().Button1->click();

    EXPECT_EQ(replies.size(), 5u);
    EXPECT_EQ(chooser().Requests.size(), 2u);
    EXPECT_EQ(form().lstReplies->Text(), PowerCycle + "\n\n>>\n" + PowerCycle + "\n>>>");
    EXPECT_EQ(FirmwareFile, "/srv/b.bin");
    EXPECT_TRUE(StopRequested);
    EXPECT_TRUE(form().Button1->isEnabled());
}

TEST_F(ProbeLoop, EditingTheAddressMidRunLeavesTheProbesTarget)
{
    chooser().Confirm("/srv/firmware.bin");
    AfterReply(3, [this] { form().edtHost->setText("192.0.2.99"); });
    StopAfterReply(10);
    form().Button1->click();

    ASSERT_EQ(replies.size(), 10u);
    for (const auto& reply : replies) {
        EXPECT_EQ(reply.Kind, rkEcho);
        EXPECT_EQ(reply.SourceAddress, Testbed::RouterAddress);
        EXPECT_EQ(reply.Ttl, 64);
    }
    EXPECT_EQ(form().ICMP.Host(), Testbed::RouterAddress);
}

TEST_F(ProbeLoop, ClosingTheWindowEndsTheLoopAndThenTheProgram)
{
    chooser().Confirm("/srv/firmware.bin");
    form().show();
    bool loopReturned = false;
    bool visibleWhenLoopReturned = false;
    AfterReply(3, [this] { form().close(); });
    QTimer::singleShot(0, [&] {
        form().Button1->click();
        loopReturned = true;
        visibleWhenLoopReturned = form().isVisible();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this] {
        form().Button2->click();
        QCoreApplication::exit(1);
    });
    watchdog.start(10000);

    EXPECT_EQ(QCoreApplication::exec(), 0);
    watchdog.stop();
    EXPECT_TRUE(loopReturned);
    EXPECT_TRUE(visibleWhenLoopReturned);
    EXPECT_EQ(replies.size(), 3u);
    EXPECT_EQ(Marks(), 3);
}

TEST_F(ProbeLoop, AnUnresolvableAddressEndsTheLoopAndLeavesStartDisabledUntilStop)
{
    form().edtHost->setText("router.invalid");
    chooser().Confirm("/srv/firmware.bin");
    form().Button1->click();

    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Socket Error # ")) << errors()[0].toStdString();
    EXPECT_TRUE(errors()[0].endsWith(".")) << errors()[0].toStdString();
    EXPECT_EQ(test->Errors->Captions[0],
        ApplicationTitle(QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    EXPECT_TRUE(replies.empty());
    EXPECT_EQ(form().lstReplies->Text(), PowerCycle + "\n\n");
    EXPECT_FALSE(StopRequested);

    EXPECT_FALSE(form().Button1->isEnabled());
    form().Button1->click();
    EXPECT_EQ(chooser().Requests.size(), 1u);
    form().Button2->click();
    EXPECT_TRUE(form().Button1->isEnabled());
}

// A router's error text may be in any code page; the box shows every byte of it.
TEST_F(ProbeLoop, AnErrorEscapingStartIsShownWithAllItsBytes)
{
    chooser().Answers.push_back([]() -> std::optional<QString> { throw Exception("\xCE\xF8\xE8\xE1\xEA\xE0 1"); });
    form().Button1->click();

    EXPECT_EQ(errors(), QStringList{QString::fromLatin1("\xCE\xF8\xE8\xE1\xEA\xE0 1.")});
    EXPECT_EQ(form().lstReplies->Text(), "");
    EXPECT_FALSE(form().Button1->isEnabled());
    form().Button2->click();
    EXPECT_TRUE(form().Button1->isEnabled());
}

// Without the right to raw sockets, Start fails before the dialog. As root the case
// runs again in a child process whose capabilities lack CAP_NET_RAW.
constexpr const char* RefusedMarker = "WINDOW_TEST_RAW_SOCKETS_REFUSED";

TEST(RawSocketsRefused, StartShowsTheErrorBeforeAnyDialog)
{
    if (geteuid() == 0 && !std::getenv(RefusedMarker)) {
        if (std::system("command -v setpriv >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "util-linux's setpriv is not installed";
        const std::string self = std::filesystem::read_symlink("/proc/self/exe");
        const std::string command = std::string("setpriv --bounding-set=-net_raw --inh-caps=-net_raw -- env ")
            + RefusedMarker + "=1 " + self + " --gtest_filter=RawSocketsRefused.StartShowsTheErrorBeforeAnyDialog";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return;
    }

    TTestForm test;
    TForm1& form = *test.Form;
    form.edtHost->setText(Testbed::RouterAddress);
    test.Chooser->Confirm("/srv/firmware.bin");
    form.Button1->click();

    EXPECT_EQ(test.Errors->Texts, QStringList{"Cannot allocate socket."});
    EXPECT_TRUE(test.Chooser->Requests.empty());
    EXPECT_EQ(form.lstReplies->Text(), "");
    EXPECT_FALSE(StopRequested);
    EXPECT_FALSE(form.Button1->isEnabled());
    form.Button2->click();
    EXPECT_TRUE(form.Button1->isEnabled());
}

} // namespace
