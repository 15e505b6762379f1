#pragma once

#include "Exception.h"

#include <QAbstractScrollArea>
#include <QString>

#include <cstdint>

// Colours as the window's description gives them: a top byte of 0 holds red (lowest
// byte), green and blue; a top byte of 0x80 names a desktop colour by its index.
using TColor = int32_t;
constexpr TColor clBlack = 0;
constexpr TColor clRed = 255;
constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);

class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

// The log view: read-only rich text with a colour per character, a caret and a
// selection the user may move and copy, wrapping lines and a vertical scroll bar.
// Only the four operations below change its text.
class TRichEdit : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TRichEdit(QWidget* parent = nullptr);
    ~TRichEdit() override;

    void AddLine(const QString& text);
    void InsertAtCaret(const QString& text);
    void SetSelectionColour(TColor colour);
    void ScrollToCaret();

    // What the window's tests read. A line break counts as one position.
    QString Text() const;
    TColor CharColour(int position) const;
    int SelStart() const;
    int SelLength() const;
    void Select(int start, int length);
};
