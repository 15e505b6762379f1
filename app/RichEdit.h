#pragma once

#include "Exception.h"
#include "LogColour.h"
#include "LogLayout.h"
#include "LogText.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>

#include <optional>

class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// The log view: read-only rich text with a colour per character, a caret and a
// selection the user may move and copy, wrapping lines and a vertical scroll bar.
// Only the four operations below change its text.
//
// It keeps its own text model and lays out only the rows an edit reaches, and it
// paints only the rows in sight: the probe loop adds a mark per probe for as long as
// the user lets it run, and a mark must cost the same on the hundred-thousandth probe
// as on the first.
class TRichEdit : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The most positions the log holds; a line break counts as one.
    static constexpr int Capacity = 4 * 1024 * 1024;

    explicit TRichEdit(QWidget* parent = nullptr);
    ~TRichEdit() override;

    void AddLine(const QString& text);
    void InsertAtCaret(const QString& text);
    void SetSelectionColour(TColor colour);
    void ScrollToCaret();

    // What the window's tests read. A line break counts as one position and reads
    // as '\n'.
    QString Text() const;
    TColor CharColour(int position) const;
    int SelStart() const;
    int SelLength() const;
    void Select(int start, int length);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct TPendingColour {
        int Position;
        TColor Colour;
    };

    // Replaces [from, to) with as much of the text as fits and returns how much did.
    int Write(int from, int to, const QString& text, TColor colour);
    TColor ColourBefore(int position) const;
    // Moves the selection; the pending colour is dropped when the caret leaves its place.
    void SetSelection(int anchor, int caret);
    void Copy() const;
    void SelectAll();
    QString SelectedText() const;

    int RowTop(int row) const;
    int RowAt(int y) const;
    int PositionAt(const QPoint& point) const;
    int CaretX(int position) const;
    int WrapWidth() const;
    void Relayout();
    void UpdateScrollRange();
    void UpdateRows(int firstRow, int lastRow);
    void UpdatePositions(int first, int last);
    void EnsureVisible(int position);
    void RestartBlink();

    int MoveByKey(QKeyEvent* event, bool* handled) const;
    int VerticalMove(int position, int rows) const;
    int WordStart(int position) const;
    int WordEnd(int position) const;

    TLogText text_;
    TLogLayout layout_{text_};
    int anchor_ = 0;
    int caret_ = 0;
    std::optional<TPendingColour> pending_;
    int rowHeight_ = 1;
    int layoutWidth_ = -1;
    // The x the caret keeps over runs of Up and Down through shorter rows.
    mutable int preferredX_ = -1;
    bool dragging_ = false;
    bool caretShown_ = true;
    QBasicTimer blink_;
};
