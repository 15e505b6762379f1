#pragma once

#include "FileChooser.h"

#include <QString>

#include <memory>

class QWidget;

// The open-file dialog component: its settings, and the last confirmed path, which
// the next run starts with.
class TOpenDialog {
public:
    explicit TOpenDialog(std::unique_ptr<TFileChooser> chooser);

    // Pairs of description and pattern, all joined by "|"; several patterns of one
    // entry are joined by ";".
    QString Filter;
    // The entry selected when the dialog opens, counted from 1.
    int FilterIndex = 1;
    QString FileName;

    // Runs the dialog modally. True when the user confirmed a file: FileName then
    // holds its full path. False leaves FileName as it was.
    bool Execute(QWidget* parent);

private:
    TFileRequest Request() const;

    std::unique_ptr<TFileChooser> chooser_;
};
