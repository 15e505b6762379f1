#include "LogLayout.h"

#include <QFontMetricsF>

#include <algorithm>

namespace {

// A row as wide as this never wraps, so the painted row keeps the break found here.
constexpr qreal kUnboundedWidth = 1e9;

} // namespace

TLogLayout::TLogLayout(const TLogText& text) : text_(text)
{
    option_.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Reset(font_, width_);
}

void TLogLayout::Reset(const QFont& font, int width)
{
    font_ = font;
    width_ = std::max(1, width);
    const qreal average = std::max<qreal>(1.0, QFontMetricsF(font_).averageCharWidth());
    chunk_ = std::max(16, int(1.5 * width_ / average) + 8);

    rowStarts_.assign(size_t(text_.LineCount()), {});
    firstRow_.assign(size_t(text_.LineCount()), 0);
    for (int line = 0; line < text_.LineCount(); ++line) {
        rowStarts_[size_t(line)] = {0};
        Relayout(line, 0, 0, 0, false);
    }
    RenumberFrom(0);
}

int TLogLayout::Apply(const TLogChange& change)
{
    const auto line = size_t(change.Line);
    if (change.OldLines != change.NewLines) {
        rowStarts_.erase(rowStarts_.begin() + std::ptrdiff_t(line) + 1,
                         rowStarts_.begin() + std::ptrdiff_t(line) + change.OldLines);
        rowStarts_.insert(rowStarts_.begin() + std::ptrdiff_t(line) + 1, size_t(change.NewLines - 1),
                          std::vector<int>{0});
        firstRow_.resize(rowStarts_.size());
    }
    // A change within one line leaves the rows after it as they were, only moved;
    // one that joins or splits lines gives the first line a new tail.
    const bool sameLine = change.OldLines == 1 && change.NewLines == 1;
    const int firstChanged = Relayout(change.Line, change.Offset, change.Removed, change.Inserted, sameLine);
    for (int added = change.Line + 1; added < change.Line + change.NewLines; ++added) {
        rowStarts_[size_t(added)] = {0};
        Relayout(added, 0, 0, 0, false);
    }
    RenumberFrom(change.Line);
    return firstRow_[line] + firstChanged;
}

int TLogLayout::Relayout(int line, int offset, int removed, int inserted, bool reuseTail)
{
    auto& starts = rowStarts_[size_t(line)];
    // Greedy wrapping decides a row's end from its own characters and those of the
    // word that follows it, so an edit can move breaks from two rows before its own
    // row on; earlier rows keep theirs.
    const auto own = size_t(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
    const size_t from = own >= 2 ? own - 2 : 0;
    const std::vector<int> tail(starts.begin() + std::ptrdiff_t(from) + 1, starts.end());
    starts.resize(from + 1);

    const int length = text_.LineLength(line);
    const int shift = inserted - removed;
    size_t next = 0;
    for (int start = starts.back();;) {
        start = RowEnd(line, start);
        if (start >= length)
            break;
        // Once a new row starts where an old one did, past the edit, every later
        // row is the old one moved by the edit's length.
        if (reuseTail && start >= offset + inserted) {
            while (next < tail.size() && tail[next] + shift < start)
                ++next;
            if (next < tail.size() && tail[next] + shift == start) {
                for (; next < tail.size(); ++next)
                    starts.push_back(tail[next] + shift);
                break;
            }
        }
        starts.push_back(start);
    }

    // Rows that end where they did, before the edit, show what they showed; the
    // first one that reaches the edit or ends elsewhere is the first to paint again.
    // A line's old last row ends at the line's old end, which the edit reaches.
    size_t changed = from;
    for (; changed + 1 < starts.size() && changed - from < tail.size(); ++changed) {
        const int oldEnd = tail[changed - from];
        if (oldEnd >= offset || oldEnd != starts[changed + 1])
            break;
    }
    return int(changed);
}

int TLogLayout::RowEnd(int line, int start) const
{
    const int available = text_.LineLength(line) - start;
    if (available <= 0)
        return start + 1;
    // Measure a piece of the line rather than the rest of it. If the row ends inside
    // the piece, the full line would end it at the same place: what follows the piece
    // only lengthens the piece's last word, which already did not fit.
    int count = std::min(available, chunk_);
    for (;;) {
        QTextLayout layout(text_.Chars().mid(text_.LineStart(line) + start, count), font_);
        layout.setTextOption(option_);
        layout.beginLayout();
        QTextLine row = layout.createLine();
        row.setLineWidth(width_);
        layout.endLayout();
        const int used = row.textLength();
        if (used < count || count == available)
            return start + std::max(used, 1);
        count = std::min(available, count * 2);
    }
}

void TLogLayout::RenumberFrom(int line)
{
    for (auto index = size_t(std::max(line, 1)); index < rowStarts_.size(); ++index)
        firstRow_[index] = firstRow_[index - 1] + int(rowStarts_[index - 1].size());
    rowCount_ = firstRow_.back() + int(rowStarts_.back().size());
}

TLogLayout::TRow TLogLayout::Row(int row) const
{
    const auto line = size_t(std::upper_bound(firstRow_.begin(), firstRow_.end(), row) - firstRow_.begin()) - 1;
    const auto& starts = rowStarts_[line];
    const auto index = size_t(row - firstRow_[line]);
    const int end = index + 1 < starts.size() ? starts[index + 1] : text_.LineLength(int(line));
    return {int(line), starts[index], end};
}

int TLogLayout::RowOf(int position) const
{
    const int line = text_.LineOf(position);
    const auto& starts = rowStarts_[size_t(line)];
    const int offset = position - text_.LineStart(line);
    return firstRow_[size_t(line)] + int(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
}

void TLogLayout::LayoutRow(QTextLayout& layout, const TRow& row, const QList<QTextLayout::FormatRange>& formats) const
{
    layout.setText(text_.Chars().mid(text_.LineStart(row.Line) + row.Start, row.End - row.Start));
    layout.setFont(font_);
    layout.setTextOption(option_);
    // Setting formats drops an existing layout, so they come first.
    layout.setFormats(formats);
    layout.beginLayout();
    layout.createLine().setLineWidth(kUnboundedWidth);
    layout.endLayout();
}
