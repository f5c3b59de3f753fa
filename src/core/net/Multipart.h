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
    // Bytes looked at by the searches for line ends and delimiters so far. Each byte of the stream
    // is looked at a bounded number of times, however it is cut into pieces.
    qint64 Examined() const { return ExaminedBytes; }

private:
    enum class TState
    {
        Delimiter,     // before the next delimiter line
        DelimiterLine, // the rest of the delimiter's line
        Headers,       // the part's header lines
        Body,          // the part's body
        End,
    };
    bool Step(const TPart& onPart, bool& progress);
    // Buffer.indexOf(what, from), counted in ExaminedBytes.
    qsizetype Find(const QByteArray& what, qsizetype from);
    qsizetype Find(char what, qsizetype from);

    QByteArray Delim;
    QByteArray LineDelim; // line end and delimiter: how a part without a length ends
    qint64 MaxPart;
    QByteArray Buffer;
    // Where the next search for the current state's mark resumes: the bytes before it were
    // searched already, and the mark cannot start there (the search keeps the mark's length less
    // one byte of overlap).
    qsizetype SearchFrom = 0;
    qint64 ExaminedBytes = 0;
    TState State = TState::Delimiter;
    qint64 PartLength = -1; // Content-Length of the current part; -1 = up to the next delimiter
    int Count = 0;
    QByteArray Problem;
};
