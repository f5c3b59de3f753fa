#pragma once

#include <QByteArray>
#include <QString>

// The password codec of the settings file: byte i (counting from 1) is combined by exclusive or
// with i modulo 256 and written as two letters, 'E' plus its low four bits, then 'm' plus its high
// four bits.
class TSUtils
{
public:
    // A text password: its Latin-1 bytes when it has no character beyond Latin-1 (so existing
    // files read back unchanged), its UTF-8 bytes otherwise.
    static QString EncodeText(const QString& text);
    // The inverse: decoded bytes that are valid UTF-8 with a byte above 127 are read as UTF-8,
    // any other bytes as Latin-1. A character left over at the end is dropped.
    static QString DecodeText(const QString& text);

    static QString EncodeBytes(const QByteArray& bytes);
    static QByteArray DecodeBytes(const QString& text);
};
