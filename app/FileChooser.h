#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// What one run of the open dialog offers: its filter entries in the toolkit's form
// ("description (pattern)"), the entry selected at first, and the file to start with.
struct TFileRequest {
    QStringList NameFilters;
    QString SelectedFilter;
    QString FileName;
};

// Asks the person at the desktop for a file, modally. Gives the confirmed path, or
// nothing when the dialog was cancelled or gave no name. Tests put a scripted answer
// in its place.
class TFileChooser {
public:
    virtual ~TFileChooser() = default;
    virtual std::optional<QString> Choose(QWidget* parent, const TFileRequest& request) = 0;
};

// The real dialog, for users. The toolkit's own dialog behaves the same on every
// desktop, and it accepts a typed name of a file that does not exist.
class TQtFileChooser : public TFileChooser {
public:
    std::optional<QString> Choose(QWidget* parent, const TFileRequest& request) override;
};
