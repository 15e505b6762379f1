#include "RichEdit.h"

// Placeholder so the tree builds while the log view is written.
TRichEdit::TRichEdit(QWidget* parent) : QAbstractScrollArea(parent) {}
TRichEdit::~TRichEdit() = default;
void TRichEdit::AddLine(const QString&) {}
void TRichEdit::InsertAtCaret(const QString&) {}
void TRichEdit::SetSelectionColour(TColor) {}
void TRichEdit::ScrollToCaret() {}
QString TRichEdit::Text() const { return {}; }
TColor TRichEdit::CharColour(int) const { return clWindowText; }
int TRichEdit::SelStart() const { return 0; }
int TRichEdit::SelLength() const { return 0; }
void TRichEdit::Select(int, int) {}
