#include "TftpServer.h"
#include "WindowOnTestbed.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const QString PowerCycle = "Отключите питание от роутера и подключите его заново.";
const QString Loading = "Загрузка прошивки в роутер.";
const QString Updating = "Обновление роутера...";
const QString KeepPower = "1. Во время обновления не отключайте питание от роутера.";
const QString Restarts = "2. После обновления роутер САМ перегрузится - обычно через 2 минуты.";

// What the log ends with after a successful upload: the loading and updating lines
// in black, the two instructions in red.
struct TLogPiece {
    QString text;
    TColor colour;
};
const TLogPiece UploadDone[] = {
    {"\n" + Loading, clBlack}, {"\n" + Updating, clBlack}, {"\n" + KeepPower, clRed}, {"\n" + Restarts, clRed}};

// Bytes that differ from block to block, so that a block sent twice, lost or out of
// order shows in the file the server wrote.
std::vector<uint8_t> FirmwareBytes(std::size_t size)
{
    std::mt19937_64 random(size);
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; i += 8) {
        const uint64_t word = random();
        std::copy_n(reinterpret_cast<const uint8_t*>(&word), std::min<std::size_t>(8, size - i), bytes.begin() + i);
    }
    return bytes;
}

// Runs a function on a thread of its own inside a namespace; the calling thread
// stays in the pc namespace.
template <typename Function>
auto InNamespace(const std::string& netns, Function function)
{
    decltype(function()) result{};
    std::thread([&] {
        NetnsScope inside(netns);
        result = function();
    }).join();
    return result;
}

// Every UDP datagram that reached the router's kernel, whether a socket took it or not.
long RouterUdpDatagrams(const std::string& netns)
{
    return InNamespace(netns, [] {
        std::ifstream snmp("/proc/thread-self/net/snmp");
        std::string names, values;
        while (std::getline(snmp, names) && std::getline(snmp, values)) {
            if (names.rfind("Udp: ", 0) != 0)
                continue;
            std::istringstream nameWords(names), valueWords(values);
            std::string name, value;
            long total = 0;
            while (nameWords >> name && valueWords >> value) {
                if (name == "InDatagrams" || name == "NoPorts" || name == "InErrors")
                    total += std::stol(value);
            }
            return total;
        }
        return -1L;
    });
}

// The router's TFTP server goes silent: every process in its namespace is killed.
// Unlike a stopped process, a killed one is still reaped by the server fixture.
void SilenceRouter(const std::string& netns)
{
    std::FILE* pids = popen(("ip netns pids " + netns).c_str(), "r");
    ASSERT_NE(pids, nullptr);
    int pid = 0;
    while (std::fscanf(pids, "%d", &pid) == 1)
        kill(pid, SIGKILL);
    pclose(pids);
}

// The real window in the pc namespace of a testbed, aimed at its router, whose kernel
// answers with TTL 100 once its link is up, and on which tftpd-hpa listens on port 69.
// The router starts switched off. Both dialogs are answered by the test.
class FirmwareUpdate : public WindowOnTestbed {
protected:
    void SetUp() override
    {
        SKIP_WITHOUT_NAMESPACES();
        SKIP_WITHOUT_TFTP_SERVER();
        bed.emplace();
        bed->SetRouterLink(false);
        server.emplace(TftpServer::Options{bed->RouterNamespace(), Testbed::RouterAddress, 69, {}});
        folder = fs::temp_directory_path() / ("firmware-" + bed->Name());
        fs::create_directories(folder);
        // The TFTP client opens its socket with the window: the window must be made
        // inside the pc namespace.
        OpenWindow();
    }

    void TearDown() override
    {
        test.reset();
        scope.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    QString Log() { return form().lstReplies->Text(); }

    fs::path WriteFirmware(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // A run from Start: the file is confirmed in the dialog, and whatever the test
    // planned happens in the event pass after the given reply. A run that has not
    // ended by the 40th probe is stopped, so a fault cannot hang the suite.
    void Run(const fs::path& firmware)
    {
        test->Chooser->Confirm(QString::fromStdString(firmware.string()));
        AfterReply(40, [this] { form().Button2->click(); });
        form().Button1->click();
    }
    void AfterReply(int n, std::function<void()> action)
    {
        AtReply(static_cast<int>(replies.size()) + n, std::move(action));
    }
    void PowerOnAfterReply(int n)
    {
        AfterReply(n, [this] { bed->SetRouterLink(true); });
    }

    // The file as the router's server received it.
    void ExpectUploaded(const std::vector<uint8_t>& bytes)
    {
        const auto received = server->ReadFile("firmware.bin");
        ASSERT_EQ(received.size(), bytes.size());
        const auto differ = std::mismatch(received.begin(), received.end(), bytes.begin());
        EXPECT_TRUE(differ.first == received.end()) << "first difference at byte " << differ.first - received.begin();
    }

    // The log from position `from` on: the pieces given, each in its colour.
    void ExpectLogFrom(int from, std::vector<TLogPiece> pieces, bool uploadDone)
    {
        if (uploadDone)
            pieces.insert(pieces.end(), std::begin(UploadDone), std::end(UploadDone));
        QString text;
        std::vector<TColor> colours;
        for (const auto& piece : pieces) {
            text += piece.text;
            colours.insert(colours.end(), piece.text.size(), piece.colour);
        }
        ASSERT_EQ(Log().mid(from), text);
        for (std::size_t i = 0; i < colours.size(); ++i) {
            const int at = from + static_cast<int>(i);
            EXPECT_EQ(form().lstReplies->CharColour(at), colours[i]) << "at " << at;
        }
    }
    TLogPiece MarksOfEveryReply() { return {QString(static_cast<int>(replies.size()), '>'), clBlack}; }

    // The reply that started the upload is the last one: no probe followed it.
    void ExpectUploadAfterLastReply()
    {
        ASSERT_FALSE(replies.empty());
        EXPECT_EQ(replies.back().Ttl, 100);
        EXPECT_EQ(replies.back().Kind, rkEcho);
        EXPECT_EQ(std::count_if(replies.begin(), replies.end(), [](const auto& r) { return r.Ttl == 100; }), 1);
    }

    std::optional<TftpServer> server;
    fs::path folder;
};

TEST_F(FirmwareUpdate, RouterSwitchedOnReceivesTheFileAndTheLogSaysWhatToDo)
{
    const auto firmware = FirmwareBytes(40 * 1500 + 123);
    PowerOnAfterReply(3);
    Run(WriteFirmware("router.trx", firmware));

    EXPECT_TRUE(errors().isEmpty()) << errors().join(" | ").toStdString();
    ExpectUploaded(firmware);
    // Until the router was on, every probe went unanswered.
    ASSERT_GE(replies.size(), 4u);
    for (std::size_t i = 0; i + 1 < replies.size(); ++i)
        EXPECT_EQ(replies[i].Kind, rkTimedOut) << "probe " << i + 1;
    ExpectUploadAfterLastReply();
    ExpectLogFrom(0, {{PowerCycle + "\n\n", clRed}, MarksOfEveryReply()}, true);
    EXPECT_TRUE(form().Button1->isEnabled());
    EXPECT_TRUE(StopRequested);
    EXPECT_FALSE(form().TrivialFTP.Active());
}

// Block numbers wrap after 65535 blocks of 1500 bytes; every byte still arrives once
// and in order.
TEST_F(FirmwareUpdate, FirmwareOfMoreThan65535BlocksArrivesWhole)
{
    const auto firmware = FirmwareBytes(65536 * 1500 + 777);
    bed->SetRouterLink(true);
    Run(WriteFirmware("large.bin", firmware));

    EXPECT_TRUE(errors().isEmpty()) << errors().join(" | ").toStdString();
    ExpectUploaded(firmware);
    ExpectUploadAfterLastReply();
    ExpectLogFrom(0, {{PowerCycle + "\n\n", clRed}, MarksOfEveryReply()}, true);
}

TEST_F(FirmwareUpdate, AReplyWithAnotherTtlNeverStartsAnUpload)
{
    bed->SetRouterTtl(64);
    bed->SetRouterLink(true);
    AfterReply(5, [this] { form().Button2->click(); });
    Run(WriteFirmware("router.trx", FirmwareBytes(3000)));

    ASSERT_EQ(replies.size(), 5u);
    for (const auto& reply : replies) {
        EXPECT_EQ(reply.Kind, rkEcho);
        EXPECT_EQ(reply.Ttl, 64);
    }
    EXPECT_EQ(Log(), PowerCycle + "\n\n>>>>>");
    EXPECT_EQ(RouterUdpDatagrams(bed->RouterNamespace()), 0);
    EXPECT_FALSE(fs::exists(server->Folder() / "firmware.bin"));
}

TEST_F(FirmwareUpdate, RouterSilentMidTransferEndsInTimeoutWithoutTheClosingLines)
{
    const auto firmware = FirmwareBytes(200 * 1500);
    form().TrivialFTP.OnWork = [this](TIdComponent&, TWorkMode, int64_t sent) {
        if (sent == 5 * 1500)
            SilenceRouter(bed->RouterNamespace());
    };
    bed->SetRouterLink(true);
    Run(WriteFirmware("router.trx", firmware));

    EXPECT_EQ(errors(), QStringList{"Timeout."});
    ExpectLogFrom(0, {{PowerCycle + "\n\n", clRed}, MarksOfEveryReply(), {"\n" + Loading, clBlack}}, false);
    EXPECT_TRUE(StopRequested);
    EXPECT_FALSE(form().Button1->isEnabled());
    form().Button2->click();
    EXPECT_TRUE(form().Button1->isEnabled());
}

// What a person can get wrong in the window: each mistake ends in a clear message,
// nothing reaches the router, and once Stop is pressed and the mistake mended, the
// next run uploads.
struct TBadInput {
    const char* name;
    // Before Start: the address typed, or nothing to keep the router's.
    std::optional<QString> addressAtStart;
    // During the run, together with switching the router on: the address typed.
    std::optional<QString> addressAtUpload;
    // The firmware chosen, made in the test's folder; empty: a regular file.
    std::function<fs::path(const fs::path& folder)> firmware;
    // Whether the chosen file is deleted before the router comes on.
    bool deletedDuringTheRun;
    // The message expected, or the start of it when it ends in "…".
    QString message;
    // Whether the run got as far as the upload.
    bool uploadStarted;
};

void PrintTo(const TBadInput& bad, std::ostream* out) { *out << bad.name; }

class BadInput : public FirmwareUpdate, public ::testing::WithParamInterface<TBadInput> {
};

const auto ResolverError = QStringLiteral("Socket Error # …");

INSTANTIATE_TEST_SUITE_P(FirmwareUpdate, BadInput,
    ::testing::Values(
        TBadInput{"SpacesAroundTheAddressAtStart", " 192.0.2.2 ", std::nullopt, {}, false, ResolverError, false},
        TBadInput{"EmptyAddressAtStart", "", std::nullopt, {}, false, ResolverError, false},
        TBadInput{"SpaceAfterTheAddressEditedDuringTheRun", std::nullopt, "192.0.2.2 ", {}, false, ResolverError, true},
        TBadInput{"AddressEmptiedDuringTheRun", std::nullopt, "", {}, false, ResolverError, true},
        TBadInput{"HostNameThatDoesNotResolve", std::nullopt, "router.invalid", {}, false, ResolverError, true},
        TBadInput{"FileDeletedBeforeTheRouterComesOn", std::nullopt, std::nullopt,
            [](const fs::path& folder) {
                std::ofstream(folder / "deleted.trx") << "firmware";
                return folder / "deleted.trx";
            },
            true, "Cannot open file {}.", true},
        TBadInput{"FolderChosenAsFirmware", std::nullopt, std::nullopt,
            [](const fs::path& folder) {
                fs::create_directory(folder / "firmware.d");
                return folder / "firmware.d";
            },
            false, "Cannot open file {}.", true},
        TBadInput{"NamedPipeChosenAsFirmware", std::nullopt, std::nullopt,
            [](const fs::path& folder) {
                mkfifo((folder / "pipe.bin").c_str(), 0600);
                return folder / "pipe.bin";
            },
            false, "Cannot open file {}.", true},
        TBadInput{"FileInAFolderThatIsGone", std::nullopt, std::nullopt,
            [](const fs::path& folder) { return folder / "gone" / "router.trx"; }, false, "Cannot open file {}.",
            true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(BadInput, EndsInAClearMessageAndTheNextRunUploads)
{
    const TBadInput& bad = GetParam();
    const auto firmware = FirmwareBytes(10 * 1500 + 1);
    const fs::path good = WriteFirmware("router.trx", firmware);
    const fs::path chosen = bad.firmware ? bad.firmware(folder) : good;
    if (bad.addressAtStart)
        form().edtHost->setText(*bad.addressAtStart);
    AfterReply(2, [&] {
        if (bad.addressAtUpload)
            form().edtHost->setText(*bad.addressAtUpload);
        if (bad.deletedDuringTheRun)
            fs::remove(chosen);
        bed->SetRouterLink(true);
    });
    Run(chosen);

    ASSERT_EQ(errors().size(), 1);
    QString expected = bad.message;
    expected.replace("{}", QString::fromStdString(chosen.string()));
    if (expected.endsWith(u'…'))
        EXPECT_TRUE(errors()[0].startsWith(expected.chopped(1))) << errors()[0].toStdString();
    else
        EXPECT_EQ(errors()[0], expected);
    EXPECT_EQ(Log().endsWith("\n" + Loading), bad.uploadStarted) << Log().toStdString();
    EXPECT_EQ(RouterUdpDatagrams(bed->RouterNamespace()), 0);
    EXPECT_FALSE(fs::exists(server->Folder() / "firmware.bin"));

    // Stop makes Start usable again; with the address and the file put right, the
    // next run uploads.
    EXPECT_FALSE(form().Button1->isEnabled());
    form().Button2->click();
    ASSERT_TRUE(form().Button1->isEnabled());
    form().edtHost->setText(Testbed::RouterAddress);
    bed->SetRouterLink(true);
    const int before = static_cast<int>(Log().size());
    // The power-cycle line starts a line of its own after the marks or the error.
    const QString powerCycleLines = Log().endsWith('\n') ? PowerCycle + "\n\n" : "\n" + PowerCycle + "\n";
    replies.clear();
    afterReply.clear();
    Run(good);

    EXPECT_EQ(errors().size(), 1);
    ExpectUploaded(firmware);
    ExpectUploadAfterLastReply();
    EXPECT_EQ(replies.size(), 1u);
    ExpectLogFrom(before, {{powerCycleLines, clRed}, {">", clBlack}}, true);
}

} // namespace
