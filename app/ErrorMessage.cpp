#include "ErrorMessage.h"

#include <QByteArray>
#include <QStringDecoder>

namespace {

QString DecodeMessage(const std::string& message)
{
    const QByteArray bytes(message.data(), static_cast<qsizetype>(message.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

} // namespace

QString ErrorBoxText(const std::string& message)
{
    QString text = DecodeMessage(message);
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

QString ApplicationTitle(const QString& programFileName)
{
    const QString name = programFileName.section(QLatin1Char('.'), 0, 0);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}
