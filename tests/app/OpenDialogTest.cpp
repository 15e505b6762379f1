#include "FormDoubles.h"
#include "OpenDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QStringList FirmwareFilters{"*.trx (*.trx)", "*.bin (*.bin)"};

struct TFirmwareDialog {
    TScriptedFileChooser* Chooser;
    TOpenDialog Dialog;

    TFirmwareDialog() : TFirmwareDialog(std::make_unique<TScriptedFileChooser>()) {}
    explicit TFirmwareDialog(std::unique_ptr<TScriptedFileChooser> chooser)
        : Chooser(chooser.get())
        , Dialog(std::move(chooser))
    {
        Dialog.Filter = "*.trx|*.trx|*.bin|*.bin";
    }
};

TEST(OpenDialog, OffersTwoEntriesTheFirstSelectedAndStartsWithTheLastConfirmedPath)
{
    TFirmwareDialog test;
    test.Chooser->Confirm("/tmp/a/first.trx");
    test.Chooser->Cancel();
    test.Chooser->Confirm("/tmp/b/missing.bin");

    EXPECT_TRUE(test.Dialog.Execute(nullptr));
    EXPECT_EQ(test.Dialog.FileName, "/tmp/a/first.trx");
    EXPECT_FALSE(test.Dialog.Execute(nullptr));
    EXPECT_EQ(test.Dialog.FileName, "/tmp/a/first.trx");
    EXPECT_TRUE(test.Dialog.Execute(nullptr));
    EXPECT_EQ(test.Dialog.FileName, "/tmp/b/missing.bin");

    const QString startedWith[] = {"", "/tmp/a/first.trx", "/tmp/a/first.trx"};
    ASSERT_EQ(test.Chooser->Requests.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(test.Chooser->Requests[i].NameFilters, FirmwareFilters);
        EXPECT_EQ(test.Chooser->Requests[i].SelectedFilter, "*.trx (*.trx)");
        EXPECT_EQ(test.Chooser->Requests[i].FileName, startedWith[i]);
    }
}

TEST(OpenDialog, ReadsFilterPairsAndTheirIndex)
{
    struct Case {
        QString filter;
        int index;
        QStringList nameFilters;
        QString selected;
    };
    const Case cases[] = {
        {"*.trx|*.trx|*.bin|*.bin", 2, FirmwareFilters, "*.bin (*.bin)"},
        {"Images|*.trx;*.bin", 1, {"Images (*.trx *.bin)"}, "Images (*.trx *.bin)"},
        {"*.trx|*.trx", 5, {"*.trx (*.trx)"}, ""},
        {"", 1, {}, ""},
    };
    for (const auto& c : cases) {
        TFirmwareDialog test;
        test.Dialog.Filter = c.filter;
        test.Dialog.FilterIndex = c.index;
        test.Dialog.Execute(nullptr);
        ASSERT_EQ(test.Chooser->Requests.size(), 1u);
        EXPECT_EQ(test.Chooser->Requests[0].NameFilters, c.nameFilters) << c.filter.toStdString();
        EXPECT_EQ(test.Chooser->Requests[0].SelectedFilter, c.selected) << c.filter.toStdString();
    }
}

// The real dialog, answered through its own widgets once it is up.
class QtFileChooser : public ::testing::Test {
protected:
    void SetUp() override
    {
        OffscreenApplication();
        ASSERT_TRUE(folder.isValid());
    }

    // Runs the dialog for the request and lets the answer act on it while it is open.
    std::optional<QString> Run(const TFileRequest& request, const std::function<void(QFileDialog&)>& answer)
    {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            answered = true;
            answer(*dialog);
        });
        TQtFileChooser chooser;
        auto chosen = chooser.Choose(nullptr, request);
        EXPECT_TRUE(answered);
        return chosen;
    }

    TFileRequest Firmware(const QString& fileName = {}) const
    {
        return {FirmwareFilters, FirmwareFilters[0], fileName};
    }

    QTemporaryDir folder;
};

TEST_F(QtFileChooser, AcceptsTheTypedNameOfAFileThatDoesNotExist)
{
    const QString missing = folder.filePath("not-yet-there.bin");
    const auto chosen = Run(Firmware(), [&](QFileDialog& dialog) {
        EXPECT_TRUE(dialog.isModal());
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog.nameFilters(), FirmwareFilters);
        // Each entry shows as its description alone, which is its pattern.
        EXPECT_EQ(dialog.selectedNameFilter(), "*.trx");
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(missing);
        auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
        ASSERT_NE(buttons, nullptr);
        buttons->button(QDialogButtonBox::Open)->click();
    });
    EXPECT_EQ(chosen, missing);
}

TEST_F(QtFileChooser, StartsWithTheGivenFileAndGivesNothingWhenCancelled)
{
    const QString previous = folder.filePath("previous.trx");
    const auto chosen = Run(Firmware(previous), [&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.directory().absolutePath(), QDir(folder.path()).absolutePath());
        EXPECT_EQ(dialog.selectedFiles(), QStringList{previous});
        dialog.reject();
    });
    EXPECT_EQ(chosen, std::nullopt);
}

} // namespace
