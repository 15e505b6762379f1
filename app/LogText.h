#pragma once

#include "LogColour.h"

#include <QString>

#include <vector>

// Where one replacement in the log's text took place, in the lines as they were
// before it, so that the layout can redo just those lines.
struct TLogChange {
    int Line;     // the line in which the replaced range starts
    int Offset;   // the range's start within that line
    int Removed;  // positions taken out, line breaks included
    int Inserted; // positions put in, line breaks included
    int OldLines; // lines the removed range touched
    int NewLines; // lines the inserted text touches in their place
};

// The log's text: characters, each with a colour, divided into lines by '\n'. A line
// break is one position and has a colour like any character. The text starts empty,
// which is one empty line.
class TLogText {
public:
    int Length() const { return int(chars_.size()); }
    const QString& Chars() const { return chars_; }

    int LineCount() const { return int(lineStarts_.size()); }
    int LineStart(int line) const { return lineStarts_[size_t(line)]; }
    // The number of characters in the line, its line break not counted.
    int LineLength(int line) const;
    int LineOf(int position) const;

    // Out of range, the automatic colour: what an empty log would give.
    TColor ColourAt(int position) const;
    // Where the run of one colour that holds this position ends.
    int RunEnd(int position) const;
    void Recolour(int from, int to, TColor colour);

    // Replaces the positions [from, to) by text in one colour. The text's line
    // breaks must already be single '\n' characters.
    TLogChange Replace(int from, int to, const QString& text, TColor colour);

private:
    struct Run {
        int Start;
        TColor Colour;
    };

    size_t RunAt(int position) const;
    void SplitRunAt(int position);
    void MergeRunsAround(size_t index);

    QString chars_;
    std::vector<int> lineStarts_{0};
    // Colour runs, ordered by start; each lasts until the next one starts.
    std::vector<Run> runs_;
};
