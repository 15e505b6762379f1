#include "LogLayout.h"
#include "LogText.h"
#include "RichEdit.h"

#include <QApplication>
#include <QImage>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <random>
#include <vector>

// Fontconfig keeps its caches for the whole process; a sanitized build's leak check
// would report them at exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

// Failures show texts as text rather than as lists of bytes.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QApplication& App()
{
    static int argc = 1;
    static char name[] = "RichEditTest";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the input devices that QTest registers outlive a static
    // application at exit and crash its destructor.
    static auto* app = new QApplication(argc, argv);
    return *app;
}

// A piece of the expected log: some text and the colour of each of its characters.
struct Piece {
    QString Text;
    TColor Colour;
};

struct Case {
    const char* Name;
    std::function<void(TRichEdit&)> Steps;
    std::vector<Piece> Expected;
    int SelStart;
    int SelLength = 0;
};

const QString kPowerCycle = QStringLiteral("Отключите питание от роутера и подключите его заново.");
const QString kNoFile = QStringLiteral("Файл не выбран.");
const QString kLoading = QStringLiteral("Загрузка прошивки в роутер.");
const QString kUpdating = QStringLiteral("Обновление роутера...");
const QString kStep1 = QStringLiteral("1. Во время обновления не отключайте питание от роутера.");
const QString kStep2 = QStringLiteral("2. После обновления роутер САМ перегрузится - обычно через 2 минуты.");

// The window's own call sequences, as they reach the log.
void StartWithFile(TRichEdit& log)
{
    log.SetSelectionColour(clRed);
    log.AddLine(kPowerCycle);
    log.AddLine("");
    log.ScrollToCaret();
}

void Probe(TRichEdit& log)
{
    log.SetSelectionColour(clBlack);
    log.InsertAtCaret(">");
    log.ScrollToCaret();
}

void Upload(TRichEdit& log)
{
    log.AddLine(kLoading);
    log.ScrollToCaret();
    log.SetSelectionColour(clBlack);
    log.AddLine(kUpdating);
    log.ScrollToCaret();
    log.SetSelectionColour(clRed);
    log.AddLine(kStep1);
    log.AddLine(kStep2);
    log.ScrollToCaret();
}

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.Name;
}

int LengthOf(const std::vector<Piece>& pieces)
{
    int length = 0;
    for (const Piece& piece : pieces)
        length += int(piece.Text.size());
    return length;
}

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases = {
        {"EmptyLogAddLine", [](TRichEdit& log) { log.AddLine("A"); }, {{"A\n", clWindowText}}, 2},
        {"EmptyLogAddEmptyLine", [](TRichEdit& log) { log.AddLine(""); }, {{"\n", clWindowText}}, 1},
        {"AddLineAfterMarkPutsBreakFirst",
         [](TRichEdit& log) {
             log.AddLine("A");
             Probe(log);
             log.AddLine("B");
         },
         {{"A\n", clWindowText}, {">\nB", clBlack}},
         5},
        {"AddLineAfterTextWithoutBreakThenEmptyLine",
         [](TRichEdit& log) {
             log.AddLine("A");
             log.InsertAtCaret("B");
             log.AddLine("");
             log.AddLine("C");
         },
         {{"A\nB\nC\n", clWindowText}},
         6},
        {"AddLineWritesAtEndWhateverTheUserCaret",
         [](TRichEdit& log) {
             log.AddLine("AB");
             log.AddLine("CD");
             log.Select(1, 0);
             log.AddLine("X");
         },
         {{"AB\nCD\nX\n", clWindowText}},
         8},
        {"AddLineLeavesTheUserSelectionText",
         [](TRichEdit& log) {
             log.AddLine("AB");
             log.Select(0, 2);
             log.SetSelectionColour(clRed);
             log.AddLine("X");
         },
         {{"AB", clRed}, {"\nX\n", clWindowText}},
         5},
        {"MarkGoesToTheUserCaret",
         [](TRichEdit& log) {
             log.AddLine("AB");
             log.Select(1, 0);
             Probe(log);
         },
         {{"A", clWindowText}, {">", clBlack}, {"B\n", clWindowText}},
         2},
        {"MarkReplacesTheUserSelection",
         [](TRichEdit& log) {
             log.AddLine("ABCD");
             log.Select(1, 2);
             Probe(log);
         },
         {{"A", clWindowText}, {">", clBlack}, {"D\n", clWindowText}},
         2},
        {"BackwardSelectionIsReplacedToo",
         [](TRichEdit& log) {
             log.AddLine("ABCD");
             log.Select(3, -2);
             log.InsertAtCaret("xy");
         },
         {{"AxyD\n", clWindowText}},
         3},
        {"RedCarriesOverThreeLines",
         [](TRichEdit& log) {
             log.SetSelectionColour(clRed);
             log.AddLine("A");
             log.AddLine("B");
             log.AddLine("C");
         },
         {{"A\nB\nC\n", clRed}},
         6},
        {"PendingColourDroppedWhenCaretMoves",
         [](TRichEdit& log) {
             log.AddLine("AB");
             log.SetSelectionColour(clRed);
             log.Select(1, 0);
             log.Select(3, 0);
             log.InsertAtCaret("C");
         },
         {{"AB\nC", clWindowText}},
         4},
        {"PendingColourAtCaretAppliesToAddLineOnlyThere",
         [](TRichEdit& log) {
             log.AddLine("AB");
             log.Select(1, 0);
             log.SetSelectionColour(clRed);
             log.AddLine("C");
         },
         {{"AB\nC\n", clWindowText}},
         5},
        {"InsertedBreaksBecomeSingleBreaks",
         [](TRichEdit& log) { log.InsertAtCaret("a\r\nb\rc\nd"); },
         {{"a\nb\nc\nd", clWindowText}},
         7},
        {"StartWithFileInEmptyLog",
         [](TRichEdit& log) {
             StartWithFile(log);
             Probe(log);
             Probe(log);
         },
         {{kPowerCycle + "\n\n", clRed}, {">>", clBlack}},
         int(kPowerCycle.size()) + 4},
        {"StartWithoutFileInEmptyLog", [](TRichEdit& log) { log.AddLine(kNoFile); }, {{kNoFile + "\n", clWindowText}},
         int(kNoFile.size()) + 1},
        {"WholeRunThenStartAgainThenNoFile",
         [](TRichEdit& log) {
             StartWithFile(log);
             Probe(log);
             Probe(log);
             Probe(log);
             Upload(log);
             StartWithFile(log);
             Probe(log);
             log.AddLine(kNoFile);
         },
         {{kPowerCycle + "\n\n", clRed},
          {">>>\n" + kLoading + "\n" + kUpdating, clBlack},
          {"\n" + kStep1 + "\n" + kStep2 + "\n" + kPowerCycle + "\n", clRed},
          {">\n" + kNoFile, clBlack}},
         -1},
    };
    return cases;
}

class LogSequence : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override { App(); }
};

TEST_P(LogSequence, GivesTextColoursAndCaret)
{
    const Case& c = GetParam();
    TRichEdit log;
    log.resize(473, 161);
    log.show();
    c.Steps(log);

    QString text;
    std::vector<TColor> colours;
    for (const Piece& piece : c.Expected) {
        text += piece.Text;
        colours.insert(colours.end(), size_t(piece.Text.size()), piece.Colour);
    }
    ASSERT_EQ(log.Text(), text);
    for (int i = 0; i < int(colours.size()); ++i)
        EXPECT_EQ(log.CharColour(i), colours[size_t(i)]) << "at " << i << " ('" << text.mid(i, 1).toStdString() << "')";
    EXPECT_EQ(log.SelStart(), c.SelStart < 0 ? LengthOf(c.Expected) : c.SelStart);
    EXPECT_EQ(log.SelLength(), c.SelLength);
}

INSTANTIATE_TEST_SUITE_P(RichEdit, LogSequence, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.Name); });

TEST(RichEditCapacity, AddLineKeepsWhatFitsAndFails)
{
    App();
    TRichEdit log;
    log.AddLine(QString(TRichEdit::Capacity - 5, u'x'));
    try {
        log.AddLine("abcdefgh");
        FAIL() << "AddLine past the capacity did not fail";
    } catch (const EOutOfResources& error) {
        EXPECT_EQ(error.Message(), "RichEdit line insertion error");
    }
    EXPECT_EQ(log.Text().size(), TRichEdit::Capacity);
    EXPECT_TRUE(log.Text().endsWith("x\nabcd"));
    EXPECT_EQ(log.SelStart(), TRichEdit::Capacity);

    // Marks beyond the capacity are dropped without a word, and the log stays usable.
    log.InsertAtCaret(">");
    EXPECT_EQ(log.Text().size(), TRichEdit::Capacity);
    log.Select(0, 1);
    log.InsertAtCaret(">");
    EXPECT_TRUE(log.Text().startsWith('>'));
}

// The log laid out edit by edit must split its rows exactly as a layout made afresh,
// and must name the first row whose content changed.
TEST(LogLayoutTest, IncrementalRowsMatchFreshLayout)
{
    App();
    QFont font(QStringLiteral("DejaVu Sans"), 11, QFont::Bold);
    TLogText text;
    TLogLayout incremental(text);
    incremental.Reset(font, 300);

    std::mt19937 random(20240611);
    const QStringList pieces = {">", ">", ">", ">>>>", " ", "word ", "Слово", "\n", "a-b", "\t", "longwordwithoutbreaks"};
    for (int step = 0; step < 1500; ++step) {
        const int length = text.Length();
        int from = int(random() % unsigned(length + 1));
        // Mostly append at the end, as the probe loop does; sometimes edit the middle.
        if (random() % 3 != 0)
            from = length;
        const int to = random() % 8 == 0 ? std::min(length, from + int(random() % 6)) : from;
        QString inserted;
        for (unsigned count = random() % 4; count > 0; --count)
            inserted += pieces[qsizetype(random() % unsigned(pieces.size()))];
        const auto rowText = [&text, &incremental](int row) {
            const auto place = incremental.Row(row);
            return text.Chars().mid(text.LineStart(place.Line) + place.Start, place.End - place.Start);
        };
        QStringList before;
        for (int row = 0; row < incremental.RowCount(); ++row)
            before.append(rowText(row));
        const int firstChanged = incremental.Apply(text.Replace(from, to, inserted, clBlack));
        // The view paints again from the row Apply names; every row above it must
        // still show what it showed.
        for (int row = 0; row < firstChanged; ++row)
            ASSERT_EQ(rowText(row), before[row]) << "row " << row << " after step " << step;

        if (step % 50 == 49 || step < 50) {
            TLogLayout fresh(text);
            fresh.Reset(font, 300);
            ASSERT_EQ(incremental.RowCount(), fresh.RowCount()) << "after step " << step;
            for (int row = 0; row < fresh.RowCount(); ++row) {
                const auto a = incremental.Row(row);
                const auto b = fresh.Row(row);
                ASSERT_EQ(std::tie(a.Line, a.Start, a.End), std::tie(b.Line, b.Start, b.End))
                    << "row " << row << " after step " << step;
            }
        }
    }
}

class RichEditUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        log.resize(473, 161);
        log.show();
        log.activateWindow();
        log.setFocus();
        QApplication::processEvents();
    }

    QApplication& app = App();
    TRichEdit log;
};

TEST_F(RichEditUser, CannotChangeTheText)
{
    log.AddLine("Hello");
    log.Select(2, 0);
    QTest::keyClicks(&log, "abc");
    QTest::keyClick(&log, Qt::Key_Backspace);
    QTest::keyClick(&log, Qt::Key_Delete);
    QTest::keyClick(&log, Qt::Key_Return);
    QGuiApplication::clipboard()->setText("pasted");
    QTest::keyClick(&log, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(log.Text(), "Hello\n");
}

TEST_F(RichEditUser, SelectsWithKeysAndMouseAndCopies)
{
    log.AddLine("first line");
    log.AddLine("second");
    log.Select(0, 0);
    QTest::keyClick(&log, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&log, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "fi");

    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "first line\nsecond\n");

    // A drag from the left edge of the first row to the right of the second row.
    QWidget* area = log.viewport();
    const int row = QFontMetrics(log.font()).lineSpacing();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(1, row / 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(400, row + row / 2), area->mapToGlobal(QPointF(400, row + row / 2)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(400, row + row / 2));
    EXPECT_EQ(log.SelStart(), 0);
    EXPECT_EQ(log.SelLength(), int(QString("first line\nsecond").size()));
}

TEST_F(RichEditUser, MovingTheCaretByKeyDropsThePendingColour)
{
    log.AddLine("AB");
    log.SetSelectionColour(clRed);
    QTest::keyClick(&log, Qt::Key_Left);
    QTest::keyClick(&log, Qt::Key_Right);
    log.InsertAtCaret("C");
    EXPECT_EQ(log.CharColour(3), clWindowText);
}

TEST_F(RichEditUser, LongLineWrapsAndScrollBarShowsOnlyWhenNeeded)
{
    log.AddLine("short");
    QApplication::processEvents();
    EXPECT_FALSE(log.verticalScrollBar()->isVisible());

    log.AddLine(QString(3000, u'>'));
    QApplication::processEvents();
    EXPECT_FALSE(log.horizontalScrollBar()->isVisible());
    EXPECT_TRUE(log.verticalScrollBar()->isVisible());
    EXPECT_EQ(log.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(RichEditUser, ScrollToCaretFollowsEveryMark)
{
    StartWithFile(log);
    QScrollBar* bar = log.verticalScrollBar();
    for (int mark = 0; mark < 20000; ++mark) {
        Probe(log);
        if (mark % 997 == 0) {
            QApplication::processEvents();
            ASSERT_EQ(bar->value(), bar->maximum()) << "after mark " << mark;
        }
    }
    QApplication::processEvents();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // The caret back at the top brings the top into view.
    log.Select(0, 0);
    log.ScrollToCaret();
    EXPECT_EQ(bar->value(), 0);
}

// How many pixels of the view show roughly this colour.
int PixelsLike(const QImage& image, QColor colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) < 40 && std::abs(pixel.green() - colour.green()) < 40 &&
                std::abs(pixel.blue() - colour.blue()) < 40)
                ++count;
        }
    return count;
}

TEST_F(RichEditUser, PaintsColoursAndTheSelectionOnlyWithFocus)
{
    StartWithFile(log);
    for (int mark = 0; mark < 30; ++mark)
        Probe(log);
    QApplication::processEvents();
    const QImage shown = log.viewport()->grab().toImage();
    EXPECT_GT(PixelsLike(shown, Qt::red), 100);
    EXPECT_GT(PixelsLike(shown, Qt::black), 100);

    const QColor highlight = log.palette().color(QPalette::Highlight);
    log.Select(0, 20);
    EXPECT_GT(PixelsLike(log.viewport()->grab().toImage(), highlight), 100);
    log.clearFocus();
    EXPECT_EQ(PixelsLike(log.viewport()->grab().toImage(), highlight), 0);
}

} // namespace
