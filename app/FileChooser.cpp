#include "FileChooser.h"

#include <QFileDialog>

std::optional<QString> TQtFileChooser::Choose(QWidget* parent, const TFileRequest& request)
{
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Each description equals its pattern, so the pattern need not be shown twice.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The file need not exist: opening it is the upload's business, and its error.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.NameFilters);
    dialog.selectNameFilter(request.SelectedFilter);
    if (!request.FileName.isEmpty())
        dialog.selectFile(request.FileName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty())
        return std::nullopt;
    return files.front();
}
