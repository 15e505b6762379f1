#include "OpenDialog.h"

#include <QFileInfo>

TOpenDialog::TOpenDialog(std::unique_ptr<TFileChooser> chooser) : chooser_(std::move(chooser)) {}

TFileRequest TOpenDialog::Request() const
{
    TFileRequest request;
    const QStringList parts = Filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        request.NameFilters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    if (FilterIndex >= 1 && FilterIndex <= request.NameFilters.size())
        request.SelectedFilter = request.NameFilters[FilterIndex - 1];
    request.FileName = FileName;
    return request;
}

bool TOpenDialog::Execute(QWidget* parent)
{
    const std::optional<QString> chosen = chooser_->Choose(parent, Request());
    if (!chosen)
        return false;
    FileName = QFileInfo(*chosen).absoluteFilePath();
    return true;
}
