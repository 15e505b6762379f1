#include "ErrorBox.h"
#include "ErrorMessage.h"
#include "FormDoubles.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ErrorBoxText, ShowsAnyBytesAndEndsWithAFullStopWhereTheRuleAsks)
{
    using namespace std::string_literals;
    struct Case {
        std::string message;
        QString shown;
    };
    const Case cases[] = {
        {"Timeout", "Timeout."},
        {"Cannot allocate socket.", "Cannot allocate socket."},
        {"", ""},
        {"Not all bytes sent.", "Not all bytes sent."},
        {"Disk full or allocation exceeded", "Disk full or allocation exceeded."},
        {"Socket Error # 11001\r\nHost not found", "Socket Error # 11001\r\nHost not found."},
        // Characters up to "." get no full stop, those above it do.
        {"a-", "a-"}, {"a!", "a!"}, {"a/", "a/."}, {"a0", "a0."}, {"a\r\n", "a\r\n"},
        {"Ошибка", "Ошибка."},
        // Not UTF-8 (a Windows-1251 "Ошибка" from a router): one character per byte.
        {"\xCE\xF8\xE8\xE1\xEA\xE0", QString::fromLatin1("\xCE\xF8\xE8\xE1\xEA\xE0.")},
        // A UTF-8 sequence cut short is not UTF-8 either.
        {"ab\xD0", QString::fromLatin1("ab\xD0.")},
        {"x\0y"s, QString::fromLatin1("x\0y.", 4)},
        {"<b>bold</b>", "<b>bold</b>."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorBoxText(c.message), c.shown) << c.message;
}

TEST(ApplicationTitle, IsTheProgramNameUpToItsFirstDotWithTheRestInLowerCase)
{
    const struct {
        QString file;
        QString title;
    } cases[] = {
        {"moxlen-updater", "moxlen-updater"},
        {"Updater.exe", "Updater"},
        {"UPDATER.EXE", "Updater"},
        {"uPDATER", "updater"},
        {"my.tool.bin", "my"},
        {".hidden", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ApplicationTitle(c.file), c.title) << c.file.toStdString();
}

// The real box, read and dismissed through its own widgets once it is up.
TEST(QtErrorBox, IsModalWithAnErrorIconOneOkButtonAndThePlainText)
{
    OffscreenApplication();
    QWidget window;
    window.show();
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answered = true;
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(box->windowTitle(), "Moxlen-updater");
        EXPECT_EQ(box->text(), "<b>Router</b> says no.");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    TQtErrorBox().Show(&window, "Moxlen-updater", "<b>Router</b> says no.");
    EXPECT_TRUE(answered);
}

} // namespace
