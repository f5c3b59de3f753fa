#pragma once

#include <QByteArray>
#include <functional>

// The delimiter of a multipart/x-mixed-replace stream (a webcam's stream of JPEG parts), from the
// response's Content-Type: "--" and the boundary; empty when the type is another one or names no
// boundary.
QByteArray StreamDelimiter(const QByteArray& contentType);

// Cuts a multipart/x-mixed-replace stream into its parts as the bytes come. A part whose headers
// give a Content-Length is taken by that length; one without is taken up to the next delimiter.
// Each part's body is handed on as soon as it is complete.
class TMultipartReader
{
public:
    using TPart = std::function<bool(const QByteArray& body)>; // false: stop reading

    TMultipartReader(QByteArray delimiter, qint64 maxPart);

    // Takes the next bytes of the stream. False when the stream is unusable (a part or its
    // headers larger than the cap, a length that is not a number) or when onPart asked to stop.
    bool Feed(const char* data, qsizetype length, const TPart& onPart);
    // The closing delimiter ("--" after the boundary) came: the stream is over.
    bool Ended() const { return State == TState::End; }
    int Parts() const { return Count; }
    QByteArray Error() const { return Problem; }

private:
    enum class TState
    {
        Delimiter, // before the next delimiter line
        Headers,   // the part's header lines
        Body,      // the part's body
        End,
    };
    bool Step(const TPart& onPart, bool& progress);

    QByteArray Delim;
    qint64 MaxPart;
    QByteArray Buffer;
    TState State = TState::Delimiter;
    qint64 PartLength = -1; // Content-Length of the current part; -1 = up to the next delimiter
    int Count = 0;
    QByteArray Problem;
};
