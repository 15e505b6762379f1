#include "RichEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <cstdlib>

namespace {

// Room between the text and the view's edges, as a rich-text control leaves it.
constexpr int kMarginX = 3;
constexpr int kMarginY = 1;

// Line breaks come as CR LF, CR or LF; the log keeps each as one '\n'.
QString WithPlainBreaks(const QString& text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(u'\r', u'\n');
    return plain;
}

bool IsWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

TRichEdit::TRichEdit(QWidget* parent) : QAbstractScrollArea(parent)
{
    QFont font(QStringLiteral("DejaVu Sans"), 11, QFont::Bold);
    setFont(font);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    Relayout();
}

TRichEdit::~TRichEdit() = default;

void TRichEdit::AddLine(const QString& text)
{
    const QString line = WithPlainBreaks(text);
    const int end = text_.Length();
    const bool endsWithBreak = end == 0 || text_.Chars().back() == u'\n';
    const QString written = endsWithBreak ? line + u'\n' : u'\n' + line;

    // The line goes to the end whatever the user selected; moving the caret there
    // drops a pending colour that belongs to another place.
    SetSelection(end, end);
    const TColor colour = pending_ ? pending_->Colour : ColourBefore(end);
    pending_.reset();
    const int count = Write(end, end, written, colour);
    SetSelection(end + count, end + count);
    if (count < written.size())
        throw EOutOfResources("RichEdit line insertion error");
}

void TRichEdit::InsertAtCaret(const QString& text)
{
    const int from = SelStart();
    const int to = from + SelLength();
    // Text put in place of a selection takes the colour of what it replaces, so a
    // colour set on the selection just before carries over.
    TColor colour;
    if (from < to)
        colour = text_.ColourAt(from);
    else
        colour = pending_ ? pending_->Colour : ColourBefore(from);
    pending_.reset();
    const int count = Write(from, to, WithPlainBreaks(text), colour);
    SetSelection(from + count, from + count);
}

void TRichEdit::SetSelectionColour(TColor colour)
{
    const TColor resolved = ResolveColour(colour, palette());
    if (anchor_ == caret_) {
        pending_ = TPendingColour{caret_, resolved};
        return;
    }
    text_.Recolour(SelStart(), SelStart() + SelLength(), resolved);
    UpdatePositions(SelStart(), SelStart() + SelLength());
}

void TRichEdit::ScrollToCaret()
{
    EnsureVisible(caret_);
}

QString TRichEdit::Text() const
{
    return text_.Chars();
}

TColor TRichEdit::CharColour(int position) const
{
    return text_.ColourAt(position);
}

int TRichEdit::SelStart() const
{
    return std::min(anchor_, caret_);
}

int TRichEdit::SelLength() const
{
    return std::abs(caret_ - anchor_);
}

void TRichEdit::Select(int start, int length)
{
    SetSelection(start, start + length);
}

int TRichEdit::Write(int from, int to, const QString& text, TColor colour)
{
    const int room = Capacity - (text_.Length() - (to - from));
    QString fitted = text.size() <= room ? text : text.left(room);
    // Half a surrogate pair is no character; it stays out with the rest.
    if (!fitted.isEmpty() && fitted.back().isHighSurrogate())
        fitted.chop(1);
    if (from == to && fitted.isEmpty())
        return 0;
    const int firstRow = layout_.Apply(text_.Replace(from, to, fitted, colour));
    UpdateScrollRange();
    UpdateRows(firstRow, layout_.RowCount());
    return int(fitted.size());
}

TColor TRichEdit::ColourBefore(int position) const
{
    return text_.ColourAt(position > 0 ? position - 1 : 0);
}

void TRichEdit::SetSelection(int anchor, int caret)
{
    anchor = std::clamp(anchor, 0, text_.Length());
    caret = std::clamp(caret, 0, text_.Length());
    if (pending_ && (caret != pending_->Position || anchor != caret))
        pending_.reset();
    const int first = std::min({anchor_, caret_, anchor, caret});
    const int last = std::max({anchor_, caret_, anchor, caret});
    anchor_ = anchor;
    caret_ = caret;
    UpdatePositions(first, last);
    RestartBlink();
}

QString TRichEdit::SelectedText() const
{
    return text_.Chars().mid(SelStart(), SelLength());
}

void TRichEdit::Copy() const
{
    if (SelLength() > 0)
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TRichEdit::SelectAll()
{
    SetSelection(0, text_.Length());
}

int TRichEdit::RowTop(int row) const
{
    return kMarginY + row * rowHeight_ - verticalScrollBar()->value();
}

int TRichEdit::RowAt(int y) const
{
    const int offset = y + verticalScrollBar()->value() - kMarginY;
    return std::clamp(offset < 0 ? 0 : offset / rowHeight_, 0, layout_.RowCount() - 1);
}

int TRichEdit::PositionAt(const QPoint& point) const
{
    const int row = RowAt(point.y());
    const TLogLayout::TRow place = layout_.Row(row);
    QTextLayout layout;
    layout_.LayoutRow(layout, place);
    int offset = layout.lineAt(0).xToCursor(point.x() - kMarginX);
    // Past the end of a wrapped row the caret stays on that row instead of jumping
    // to the start of the next one.
    if (place.End < text_.LineLength(place.Line) && place.End > place.Start)
        offset = std::min(offset, place.End - place.Start - 1);
    return text_.LineStart(place.Line) + place.Start + offset;
}

int TRichEdit::CaretX(int position) const
{
    const TLogLayout::TRow place = layout_.Row(layout_.RowOf(position));
    QTextLayout layout;
    layout_.LayoutRow(layout, place);
    const int offset = position - text_.LineStart(place.Line) - place.Start;
    return kMarginX + int(layout.lineAt(0).cursorToX(offset));
}

int TRichEdit::WrapWidth() const
{
    return viewport()->width() - 2 * kMarginX;
}

void TRichEdit::Relayout()
{
    rowHeight_ = std::max(1, QFontMetrics(font()).lineSpacing());
    layoutWidth_ = WrapWidth();
    layout_.Reset(font(), layoutWidth_);
    UpdateScrollRange();
    viewport()->update();
}

void TRichEdit::UpdateScrollRange()
{
    const int height = viewport()->height();
    const int content = layout_.RowCount() * rowHeight_ + 2 * kMarginY;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, content - height));
    bar->setPageStep(height);
    bar->setSingleStep(rowHeight_);
}

void TRichEdit::UpdateRows(int firstRow, int lastRow)
{
    const int top = std::max(0, RowTop(firstRow));
    const int bottom = std::min(viewport()->height(), RowTop(lastRow) + rowHeight_);
    if (top < bottom)
        viewport()->update(0, top, viewport()->width(), bottom - top);
}

void TRichEdit::UpdatePositions(int first, int last)
{
    UpdateRows(layout_.RowOf(first), layout_.RowOf(last));
}

void TRichEdit::EnsureVisible(int position)
{
    const int row = layout_.RowOf(position);
    QScrollBar* bar = verticalScrollBar();
    const int top = row * rowHeight_;
    const int bottom = top + rowHeight_ + 2 * kMarginY;
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + viewport()->height())
        bar->setValue(bottom - viewport()->height());
}

void TRichEdit::RestartBlink()
{
    caretShown_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        blink_.start(flash / 2, this);
    else
        blink_.stop();
}

void TRichEdit::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPalette& colours = palette();
    const bool focused = hasFocus();
    const int selFrom = SelStart();
    const int selTo = selFrom + SelLength();
    const int first = RowAt(event->rect().top());
    const int last = RowAt(event->rect().bottom());

    for (int row = first; row <= last; ++row) {
        const TLogLayout::TRow place = layout_.Row(row);
        const int rowStart = text_.LineStart(place.Line) + place.Start;
        const int rowEnd = text_.LineStart(place.Line) + place.End;
        QList<QTextLayout::FormatRange> formats;
        for (int from = rowStart; from < rowEnd;) {
            const int to = std::min(rowEnd, text_.RunEnd(from));
            QTextLayout::FormatRange range;
            range.start = from - rowStart;
            range.length = to - from;
            range.format.setForeground(PaintColour(text_.ColourAt(from), colours));
            formats.append(range);
            from = to;
        }
        QTextLayout layout;
        layout_.LayoutRow(layout, place, formats);

        // The selection shows only while the view has the focus.
        QList<QTextLayout::FormatRange> selections;
        if (focused && selFrom < rowEnd && selTo > rowStart) {
            QTextLayout::FormatRange range;
            range.start = std::max(selFrom, rowStart) - rowStart;
            range.length = std::min(selTo, rowEnd) - rowStart - range.start;
            range.format.setBackground(colours.brush(QPalette::Highlight));
            range.format.setForeground(colours.brush(QPalette::HighlightedText));
            selections.append(range);
        }
        const QTextLine line = layout.lineAt(0);
        const qreal textWidth = line.naturalTextWidth();
        const bool caretHere = focused && caretShown_ && layout_.RowOf(caret_) == row;
        const qreal caretX = caretHere ? line.cursorToX(caret_ - rowStart) : 0;

        const QPointF origin(kMarginX, RowTop(row));
        layout.draw(&painter, origin, selections);

        // A selected line break shows as a narrow block after its line's last row.
        const bool endsLine = place.End == text_.LineLength(place.Line);
        if (focused && endsLine && place.Line + 1 < text_.LineCount() && rowEnd >= selFrom && rowEnd < selTo)
            painter.fillRect(QRectF(origin.x() + textWidth, origin.y(), rowHeight_ / 3.0, rowHeight_),
                             colours.brush(QPalette::Highlight));
        if (caretHere)
            painter.fillRect(QRectF(origin.x() + caretX, origin.y(), 1, rowHeight_), colours.brush(QPalette::Text));
    }
}

void TRichEdit::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (WrapWidth() == layoutWidth_) {
        UpdateScrollRange();
        return;
    }
    // A new width moves every break; a caret in sight before stays in sight, which
    // matters when the scroll bar appears and narrows the view under the marks.
    const int caretTop = RowTop(layout_.RowOf(caret_));
    const bool caretInSight = caretTop >= 0 && caretTop + rowHeight_ <= viewport()->height();
    Relayout();
    if (caretInSight)
        EnsureVisible(caret_);
}

void TRichEdit::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        Relayout();
    else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        viewport()->update();
}

void TRichEdit::scrollContentsBy(int, int dy)
{
    viewport()->scroll(0, dy);
}

int TRichEdit::VerticalMove(int position, int rows) const
{
    if (preferredX_ < 0)
        preferredX_ = CaretX(position);
    const int row = std::clamp(layout_.RowOf(position) + rows, 0, layout_.RowCount() - 1);
    return PositionAt(QPoint(preferredX_, RowTop(row)));
}

int TRichEdit::WordStart(int position) const
{
    const QString& chars = text_.Chars();
    while (position > 0 && !IsWordCharacter(chars[position - 1]))
        --position;
    while (position > 0 && IsWordCharacter(chars[position - 1]))
        --position;
    return position;
}

int TRichEdit::WordEnd(int position) const
{
    const QString& chars = text_.Chars();
    while (position < chars.size() && !IsWordCharacter(chars[position]))
        ++position;
    while (position < chars.size() && IsWordCharacter(chars[position]))
        ++position;
    return position;
}

int TRichEdit::MoveByKey(QKeyEvent* event, bool* handled) const
{
    *handled = true;
    const QString& chars = text_.Chars();
    const auto is = [event](QKeySequence::StandardKey move, QKeySequence::StandardKey select) {
        return event->matches(move) || event->matches(select);
    };
    const bool vertical = is(QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine) ||
                          is(QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine) ||
                          is(QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage) ||
                          is(QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage);
    if (!vertical)
        preferredX_ = -1;
    const int pageRows = std::max(1, viewport()->height() / rowHeight_ - 1);
    const TLogLayout::TRow row = layout_.Row(layout_.RowOf(caret_));
    const int rowStart = text_.LineStart(row.Line) + row.Start;

    if (is(QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar)) {
        int next = std::min(caret_ + 1, text_.Length());
        if (next < chars.size() && chars[next].isLowSurrogate())
            ++next;
        return next;
    }
    if (is(QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar)) {
        int previous = std::max(caret_ - 1, 0);
        if (previous > 0 && chars[previous].isLowSurrogate())
            --previous;
        return previous;
    }
    if (is(QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord))
        return WordEnd(caret_);
    if (is(QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord))
        return WordStart(caret_);
    if (is(QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine))
        return VerticalMove(caret_, 1);
    if (is(QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine))
        return VerticalMove(caret_, -1);
    if (is(QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage))
        return VerticalMove(caret_, pageRows);
    if (is(QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage))
        return VerticalMove(caret_, -pageRows);
    if (is(QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine))
        return rowStart;
    if (is(QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine)) {
        // The end of a wrapped row is the start of the next; stop before its last
        // character so that the caret stays on this row.
        const bool wrapped = row.End < text_.LineLength(row.Line);
        return text_.LineStart(row.Line) + (wrapped ? std::max(row.Start, row.End - 1) : row.End);
    }
    if (is(QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument))
        return 0;
    if (is(QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument))
        return text_.Length();
    *handled = false;
    return caret_;
}

void TRichEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    bool handled = false;
    const int caret = MoveByKey(event, &handled);
    if (!handled) {
        // The text is the tool's report; keys that would change it do nothing, and
        // the rest goes on to the window (Enter, Escape, shortcuts).
        event->ignore();
        return;
    }
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    SetSelection(extend ? anchor_ : caret, caret);
    EnsureVisible(caret_);
}

void TRichEdit::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int position = PositionAt(event->position().toPoint());
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    preferredX_ = -1;
    SetSelection(extend ? anchor_ : position, position);
    dragging_ = true;
}

void TRichEdit::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    const int position = PositionAt(event->position().toPoint());
    SetSelection(anchor_, position);
    EnsureVisible(position);
}

void TRichEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    // The desktop's own selection lets a middle click paste what was marked.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (SelLength() > 0 && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

void TRichEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int position = PositionAt(event->position().toPoint());
    const QString& chars = text_.Chars();
    if (position < chars.size() && IsWordCharacter(chars[position]))
        SetSelection(WordStart(position + 1), WordEnd(position));
    else
        SetSelection(position, std::min(position + 1, text_.Length()));
    dragging_ = true;
}

void TRichEdit::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"), this, &TRichEdit::Copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(SelLength() > 0);
    menu.addSeparator();
    QAction* all = menu.addAction(tr("Select All"), this, &TRichEdit::SelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(text_.Length() > 0);
    menu.exec(event->globalPos());
}

void TRichEdit::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    RestartBlink();
    viewport()->update();
}

void TRichEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    viewport()->update();
}

void TRichEdit::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != blink_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretShown_ = !caretShown_;
    UpdatePositions(caret_, caret_);
}
