#include "LogText.h"

#include <algorithm>

int TLogText::LineLength(int line) const
{
    const int next = line + 1 < LineCount() ? LineStart(line + 1) - 1 : Length();
    return next - LineStart(line);
}

int TLogText::LineOf(int position) const
{
    return int(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), position) - lineStarts_.begin()) - 1;
}

size_t TLogText::RunAt(int position) const
{
    const auto after = std::upper_bound(runs_.begin(), runs_.end(), position,
                                        [](int p, const Run& run) { return p < run.Start; });
    return size_t(after - runs_.begin()) - 1;
}

TColor TLogText::ColourAt(int position) const
{
    if (position < 0 || position >= Length())
        return clWindowText;
    return runs_[RunAt(position)].Colour;
}

int TLogText::RunEnd(int position) const
{
    const size_t next = RunAt(position) + 1;
    return next < runs_.size() ? runs_[next].Start : Length();
}

void TLogText::SplitRunAt(int position)
{
    if (position <= 0 || position >= Length())
        return;
    const size_t index = RunAt(position);
    if (runs_[index].Start != position)
        runs_.insert(runs_.begin() + std::ptrdiff_t(index) + 1, Run{position, runs_[index].Colour});
}

void TLogText::MergeRunsAround(size_t index)
{
    if (index + 1 < runs_.size() && runs_[index + 1].Colour == runs_[index].Colour)
        runs_.erase(runs_.begin() + std::ptrdiff_t(index) + 1);
    if (index > 0 && runs_[index - 1].Colour == runs_[index].Colour)
        runs_.erase(runs_.begin() + std::ptrdiff_t(index));
}

void TLogText::Recolour(int from, int to, TColor colour)
{
    from = std::clamp(from, 0, Length());
    to = std::clamp(to, from, Length());
    if (from == to)
        return;
    SplitRunAt(from);
    SplitRunAt(to);
    const size_t first = RunAt(from);
    const size_t last = to < Length() ? RunAt(to) : runs_.size();
    runs_.erase(runs_.begin() + std::ptrdiff_t(first) + 1, runs_.begin() + std::ptrdiff_t(last));
    runs_[first].Colour = colour;
    MergeRunsAround(first);
}

TLogChange TLogText::Replace(int from, int to, const QString& text, TColor colour)
{
    TLogChange change{};
    change.Line = LineOf(from);
    change.Offset = from - LineStart(change.Line);
    change.Removed = to - from;
    change.Inserted = int(text.size());
    change.OldLines = LineOf(to) - change.Line + 1;

    if (to > from) {
        SplitRunAt(from);
        SplitRunAt(to);
        const size_t first = RunAt(from);
        const size_t last = to < Length() ? RunAt(to) : runs_.size();
        runs_.erase(runs_.begin() + std::ptrdiff_t(first), runs_.begin() + std::ptrdiff_t(last));
        for (size_t i = first; i < runs_.size(); ++i)
            runs_[i].Start -= change.Removed;
        if (first > 0 && first < runs_.size())
            MergeRunsAround(first);
        chars_.remove(from, change.Removed);
        const auto firstBreak = lineStarts_.begin() + change.Line + 1;
        const auto endBreak = firstBreak + (change.OldLines - 1);
        for (auto it = endBreak; it != lineStarts_.end(); ++it)
            *it -= change.Removed;
        lineStarts_.erase(firstBreak, endBreak);
    }

    std::vector<int> newStarts;
    for (int i = 0; i < change.Inserted; ++i)
        if (text[i] == u'\n')
            newStarts.push_back(from + i + 1);
    change.NewLines = int(newStarts.size()) + 1;

    if (change.Inserted > 0) {
        SplitRunAt(from);
        const size_t index = from < Length() ? RunAt(from) : runs_.size();
        for (size_t i = index; i < runs_.size(); ++i)
            runs_[i].Start += change.Inserted;
        runs_.insert(runs_.begin() + std::ptrdiff_t(index), Run{from, colour});
        MergeRunsAround(index);
        chars_.insert(from, text);
        const auto after = lineStarts_.begin() + change.Line + 1;
        for (auto it = after; it != lineStarts_.end(); ++it)
            *it += change.Inserted;
        lineStarts_.insert(after, newStarts.begin(), newStarts.end());
    }
    return change;
}
