#include "core/rules/CamHint.h"

#include "core/rules/CamAddress.h"

namespace {
void ReplaceFirst(QString& text, QLatin1String marker, const QString& value)
{
    const qsizetype at = text.indexOf(marker, 0, Qt::CaseSensitive);
    if (at >= 0)
        text.replace(at, marker.size(), value);
}
} // namespace

QString CamHintText(const QString& hint, const QString& name, const QString& url,
                    const QString& email, const QString& home, const QString& dateText)
{
    QString text = hint;
    ReplaceFirst(text, QLatin1String("%name%"), MaskedAddresses(name));
    ReplaceFirst(text, QLatin1String("%url%"), MaskedAddress(url));
    ReplaceFirst(text, QLatin1String("%email%"), email);
    ReplaceFirst(text, QLatin1String("%home%"), MaskedAddress(home));
    ReplaceFirst(text, QLatin1String("%date%"), dateText);
    return text;
}

QString CamHintDate(const QDateTime& when, const QLocale& locale)
{
    if (!when.isValid())
        return {};
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(when.time(), QLocale::LongFormat);
    return text;
}
