#include "core/rules/HandOver.h"

QByteArray EncodeHandOver(const QByteArray& path)
{
    const quint32 cbData = quint32(path.size()) + 1;
    QByteArray message;
    message.reserve(int(4 + cbData));
    for (int shift = 0; shift < 32; shift += 8)
        message.append(char((cbData >> shift) & 0xFF));
    message.append(path);
    message.append('\0');
    return message;
}

THandOverRead DecodeHandOver(const QByteArray& buffer)
{
    THandOverRead result;
    if (buffer.size() < 4)
        return result;
    quint32 cbData = 0;
    for (int i = 0; i < 4; ++i)
        cbData |= quint32(quint8(buffer[i])) << (8 * i);
    if (cbData > MaxHandOverData) {
        result.Status = THandOverRead::Refused;
        return result;
    }
    if (quint32(buffer.size() - 4) < cbData)
        return result;
    result.Status = THandOverRead::Complete;
    result.Size = cbData;
    const QByteArray data = buffer.mid(4, int(cbData));
    const int zero = data.indexOf('\0');
    result.Path = zero < 0 ? data : data.left(zero);
    return result;
}
