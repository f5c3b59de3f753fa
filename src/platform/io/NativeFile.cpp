#include "platform/io/NativeFile.h"

#include <QRandomGenerator>

QString RandomFileName(const QString& prefix, const QString& suffix)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = prefix;
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(Letters[QRandomGenerator::global()->bounded(62)]);
    return name + suffix;
}
