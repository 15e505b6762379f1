#include "DesktopCentre.h"
#include "FormDoubles.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include <string_view>

namespace {

class Unit1 : public ::testing::Test {
protected:
    TTestForm test;
    TForm1& form = *test.Form;
};

TEST_F(Unit1, WindowIsFixedWithCloseBoxOnlyAndCentredAtFirstShow)
{
    form.show();
    EXPECT_EQ(form.windowTitle(), "Moxlen Router Firmware Updater - by Tevik");
    EXPECT_EQ(form.frameGeometry().size(), QSize(497, 286));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(form.windowIcon().pixmap(32).isNull());

    const QSize desktop = form.screen()->virtualSize();
    EXPECT_EQ(form.frameGeometry().topLeft(), QPoint((desktop.width() - 497) / 2, (desktop.height() - 286) / 2));

    // Centring happens once; afterwards the window stays where it was moved.
    form.move(3, 4);
    form.hide();
    form.show();
    EXPECT_EQ(form.frameGeometry().topLeft(), QPoint(3, 4));
}

TEST(DesktopCentre, HalvesTheRoomRoundingTowardZeroAndNeverGoesNegative)
{
    struct Case {
        QSize desktop;
        QPoint origin;
    };
    const Case cases[] = {
        {{1920, 1080}, {711, 397}},
        {{1024, 768}, {263, 241}},
        {{498, 287}, {0, 0}},   // half of one pixel rounds toward zero
        {{400, 768}, {0, 241}}, // narrower than the window
        {{1024, 200}, {263, 0}}, // lower than the window
        {{300, 100}, {0, 0}},
        {{3840, 1080}, {1671, 397}}, // two monitors side by side
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopCentre(c.desktop, {497, 286}), c.origin) << c.desktop.width() << "x" << c.desktop.height();
}

TEST_F(Unit1, ControlsStandWhereTheLayoutPutsThem)
{
    struct Case {
        QWidget* control;
        QRect geometry;
        QString text;
    };
    const Case cases[] = {
        {form.Button1, {88, 216, 75, 25}, "Запустить"},
        {form.edtHost, {104, 8, 121, 21}, "192.168.0.1"},
        {form.Button2, {320, 216, 75, 25}, "Остановить"},
        {form.lstReplies, {8, 40, 473, 161}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.control->geometry(), c.geometry) << c.text.toStdString();
        if (auto* button = qobject_cast<QPushButton*>(c.control)) {
            EXPECT_EQ(button->text(), c.text);
        }
    }
    EXPECT_EQ(form.edtHost->text(), "192.168.0.1");
    EXPECT_FALSE(form.edtHost->isReadOnly());
    EXPECT_EQ(form.lstReplies->Text(), "");

    // Labels size themselves to their texts, from the given top-left corners, and
    // must stay inside the window and clear of the address field.
    const struct {
        QLabel* label;
        QPoint origin;
        QString text;
    } labels[] = {
        {form.Label1, {16, 16}, "Router default IP:"},
        {form.Label2, {336, 9}, form.Label2->text()},
        {form.Label3, {448, 232}, "V 1.0"},
    };
    for (const auto& l : labels) {
        EXPECT_EQ(l.label->pos(), l.origin) << l.text.toStdString();
        EXPECT_EQ(l.label->text(), l.text);
        EXPECT_EQ(l.label->size(), l.label->sizeHint()) << l.text.toStdString();
        EXPECT_TRUE(form.rect().contains(l.label->geometry())) << l.text.toStdString();
    }
    EXPECT_LT(form.Label1->geometry().right(), form.edtHost->x());
    EXPECT_TRUE(form.Label2->text().contains('.'));
}

TEST_F(Unit1, FontsHaveCyrillicAndTheGivenHeights)
{
    struct Case {
        QWidget* control;
        int pixelSize;
        bool bold;
    };
    const Case cases[] = {
        {&form, 11, false},
        {form.Label1, 11, false},
        {form.Label2, 15, true},
        {form.Label3, 13, true},
        {form.Button1, 11, false},
        {form.edtHost, 11, false},
        {form.Button2, 11, false},
        {form.lstReplies, 15, true},
    };
    for (const auto& c : cases) {
        const QFont font = c.control->font();
        EXPECT_EQ(font.pixelSize(), c.pixelSize) << c.control->metaObject()->className();
        EXPECT_EQ(font.bold(), c.bold) << c.control->metaObject()->className();
        const QFontMetrics metrics(font);
        for (const char32_t letter : std::u32string_view(U"ЗапуОтлючйьЁё"))
            EXPECT_TRUE(metrics.inFontUcs4(letter)) << QFontInfo(font).family().toStdString();
    }
}

TEST_F(Unit1, TabOrderStartsAtStartAndSkipsTheLabels)
{
    form.show();
    EXPECT_EQ(form.focusWidget(), form.Button1);
    const QWidget* expected[] = {form.edtHost, form.Button2, form.lstReplies, form.Button1};
    const QWidget* at = form.Button1;
    for (const QWidget* next : expected) {
        do
            at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(at, next);
    }
    for (const QLabel* label : {form.Label1, form.Label2, form.Label3})
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
}

TEST_F(Unit1, ComponentsCarryTheirSettings)
{
    EXPECT_EQ(form.ICMP.ReceiveTimeout(), 300);
    EXPECT_TRUE(form.ICMP.OnReply);
    EXPECT_EQ(form.OpenFirmware.Filter, "*.trx|*.trx|*.bin|*.bin");
    EXPECT_EQ(form.OpenFirmware.FilterIndex, 1);
    EXPECT_EQ(form.OpenFirmware.FileName, "");
}

// Stop with no loop running: Start stays enabled, the log unchanged, and the flag
// set, which the next Start clears again.
TEST_F(Unit1, StopWhileIdleChangesNothingVisible)
{
    form.Button2->click();
    EXPECT_TRUE(form.Button1->isEnabled());
    EXPECT_TRUE(StopRequested);
    EXPECT_EQ(form.lstReplies->Text(), "");
    EXPECT_TRUE(test.Errors->Texts.isEmpty());
}

} // namespace
