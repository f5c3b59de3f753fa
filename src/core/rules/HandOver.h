#pragma once

#include <QByteArray>
#include <optional>

// The message a second start sends to the running instance: a 4-byte little-endian length
// (cbData), then cbData bytes holding the path in the local 8-bit encoding and a zero byte.

// The hand-over message for a path (its bytes, without a terminating zero).
QByteArray EncodeHandOver(const QByteArray& path);

// The largest cbData a receiver accepts; longer messages are refused unread.
constexpr quint32 MaxHandOverData = 64 * 1024;

// What a receiver knows about the bytes received so far.
struct THandOverRead
{
    enum State
    {
        NeedMore,
        Complete,
        Refused
    } Status = NeedMore;
    // When Complete: the text up to the first zero byte, never more than cbData bytes. Empty
    // for a start without a file (the running instance shows itself).
    QByteArray Path;
    // When Complete: cbData. 0 is a message of nothing, to be answered and ignored.
    quint32 Size = 0;
};

// Reads a message from the start of buffer. NeedMore until the length and its cbData bytes are
// in; Refused when cbData exceeds MaxHandOverData.
THandOverRead DecodeHandOver(const QByteArray& buffer);
