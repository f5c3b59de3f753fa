#include "core/catalog/PasswordCodec.h"

#include <QStringDecoder>

namespace {

bool IsLatin1(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

bool HasHighByte(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) > 127)
            return true;
    }
    return false;
}

} // namespace

QString TSUtils::EncodeBytes(const QByteArray& bytes)
{
    QString result;
    result.reserve(bytes.size() * 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned value =
            (static_cast<unsigned char>(bytes[i]) ^ static_cast<unsigned>((i + 1) & 0xFF)) & 0xFF;
        result += QChar(static_cast<char16_t>(69 + (value & 0x0F)));
        result += QChar(static_cast<char16_t>(109 + (value >> 4)));
    }
    return result;
}

QByteArray TSUtils::DecodeBytes(const QString& text)
{
    QByteArray result;
    const qsizetype pairs = text.size() / 2;
    result.reserve(pairs);
    for (qsizetype i = 0; i < pairs; ++i) {
        const int low = text[2 * i].unicode() - 69;
        const int high = text[2 * i + 1].unicode() - 109;
        const unsigned value = static_cast<unsigned>(low + 16 * high) & 0xFF;
        result += static_cast<char>((value ^ static_cast<unsigned>((i + 1) & 0xFF)) & 0xFF);
    }
    return result;
}

QString TSUtils::EncodeText(const QString& text)
{
    return EncodeBytes(IsLatin1(text) ? text.toLatin1() : text.toUtf8());
}

QString TSUtils::DecodeText(const QString& text)
{
    const QByteArray bytes = DecodeBytes(text);
    if (HasHighByte(bytes)) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString utf8 = decoder.decode(bytes);
        if (!decoder.hasError())
            return utf8;
    }
    return QString::fromLatin1(bytes);
}
