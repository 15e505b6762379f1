#pragma once

#include "LogText.h"

#include <QFont>
#include <QTextLayout>
#include <QTextOption>

#include <vector>

// Splits the log's lines into rows no wider than the view. After an edit only the
// rows the edit can reach are laid out again, so adding a mark to a line of a hundred
// thousand marks costs about what adding one to a short line does.
class TLogLayout {
public:
    // Where a row lies: its line and its range of characters in that line.
    struct TRow {
        int Line;
        int Start;
        int End;
    };

    explicit TLogLayout(const TLogText& text);

    // Lays the whole text out anew with this font and width in pixels.
    void Reset(const QFont& font, int width);
    // Brings the rows up to date after a change of the text; returns the first row
    // whose content may have changed. Rows before it are untouched.
    int Apply(const TLogChange& change);

    int RowCount() const { return rowCount_; }
    TRow Row(int row) const;
    // The row that shows the caret at this position: at a row boundary inside a
    // line, the row that starts there.
    int RowOf(int position) const;

    // Lays out one row's characters as the view paints and hit-tests them, in the
    // given formats; the offsets of the formats count from the row's start.
    void LayoutRow(QTextLayout& layout, const TRow& row, const QList<QTextLayout::FormatRange>& formats = {}) const;

private:
    int RowEnd(int line, int start) const;
    int Relayout(int line, int offset, int removed, int inserted, bool reuseTail);
    void RenumberFrom(int line);

    const TLogText& text_;
    QFont font_;
    QTextOption option_;
    int width_ = 1;
    // How many characters a row is first measured with; doubled while too few.
    int chunk_ = 64;
    // For each line, the offsets at which its rows start; the first is 0.
    std::vector<std::vector<int>> rowStarts_;
    // For each line, the index of its first row among all rows.
    std::vector<int> firstRow_;
    int rowCount_ = 0;
};
