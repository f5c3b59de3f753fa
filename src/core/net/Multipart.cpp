#include "core/net/Multipart.h"

#include <QList>
#include <algorithm>

namespace {

// Lines of headers of one part, or the junk before a delimiter, are never this long.
constexpr qsizetype MaxHeaderBytes = 16 * 1024;

} // namespace

QByteArray StreamDelimiter(const QByteArray& contentType)
{
    const QList<QByteArray> fields = contentType.split(';');
    if (fields.value(0).trimmed().toLower() != "multipart/x-mixed-replace")
        return {};
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QByteArray field = fields[i].trimmed();
        if (!field.toLower().startsWith("boundary="))
            continue;
        QByteArray boundary = field.mid(9).trimmed();
        if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
            boundary = boundary.mid(1, boundary.size() - 2);
        if (boundary.isEmpty())
            return {};
        // Some cameras put the dashes into the parameter already.
        return boundary.startsWith("--") ? boundary : "--" + boundary;
    }
    return {};
}

TMultipartReader::TMultipartReader(QByteArray delimiter, qint64 maxPart)
    : Delim(std::move(delimiter)), LineDelim("\n" + Delim), MaxPart(maxPart)
{
}

bool TMultipartReader::Feed(const char* data, qsizetype length, const TPart& onPart)
{
    if (!Problem.isEmpty())
        return false;
    Buffer.append(data, length);
    bool progress = true;
    while (progress && State != TState::End) {
        progress = false;
        if (!Step(onPart, progress))
            return false;
    }
    return true;
}

qsizetype TMultipartReader::Find(const QByteArray& what, qsizetype from)
{
    const qsizetype at = Buffer.indexOf(what, from);
    ExaminedBytes += (at < 0 ? Buffer.size() : at + what.size()) - from;
    return at;
}

qsizetype TMultipartReader::Find(char what, qsizetype from)
{
    const qsizetype at = Buffer.indexOf(what, from);
    ExaminedBytes += (at < 0 ? Buffer.size() : at + 1) - from;
    return at;
}

bool TMultipartReader::Step(const TPart& onPart, bool& progress)
{
    // A mark not found in the buffer may still begin in its last bytes: the next search starts
    // there, not at the front again (a part without a length may be megabytes long).
    const auto resumeBefore = [this](qsizetype markLength) {
        SearchFrom = std::max<qsizetype>(0, Buffer.size() - (markLength - 1));
    };
    const auto taken = [this](qsizetype count) {
        Buffer.remove(0, count);
        SearchFrom = 0;
    };
    // Where the next line ends; -1 while it has not come in full (the next search starts after
    // what was searched), with Problem set once the buffer holds more than any header may be.
    const auto findLineEnd = [this](const char* tooLong) {
        const qsizetype end = Find('\n', SearchFrom);
        if (end < 0) {
            if (Buffer.size() > MaxHeaderBytes)
                Problem = tooLong;
            else
                SearchFrom = Buffer.size();
        }
        return end;
    };
    switch (State) {
    case TState::Delimiter: {
        const qsizetype at = Find(Delim, SearchFrom);
        if (at < 0) {
            if (Buffer.size() > MaxHeaderBytes) {
                Problem = "no delimiter";
                return false;
            }
            resumeBefore(Delim.size());
            return true;
        }
        const qsizetype after = at + Delim.size();
        if (Buffer.size() < after + 2) {
            SearchFrom = at; // "--" or the line end still to come
            return true;
        }
        if (Buffer.mid(after, 2) == "--") {
            State = TState::End;
            taken(Buffer.size());
            progress = true;
            return true;
        }
        taken(after);
        State = TState::DelimiterLine;
        progress = true;
        return true;
    }
    case TState::DelimiterLine: {
        const qsizetype lineEnd = findLineEnd("delimiter line too long");
        if (lineEnd < 0)
            return Problem.isEmpty();
        taken(lineEnd + 1);
        State = TState::Headers;
        PartLength = -1;
        progress = true;
        return true;
    }
    case TState::Headers: {
        // Header lines up to an empty one; a part may have no header at all.
        for (;;) {
            const qsizetype lineEnd = findLineEnd("part headers too long");
            if (lineEnd < 0)
                return Problem.isEmpty();
            const QByteArray line = Buffer.left(lineEnd).trimmed();
            taken(lineEnd + 1);
            if (line.isEmpty())
                break;
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length") {
                bool ok = false;
                PartLength = line.mid(colon + 1).trimmed().toLongLong(&ok);
                if (!ok || PartLength < 0) {
                    Problem = "bad part length";
                    return false;
                }
            }
        }
        if (PartLength > MaxPart) {
            Problem = "part larger than the cap";
            return false;
        }
        State = TState::Body;
        progress = true;
        return true;
    }
    case TState::Body: {
        QByteArray body;
        if (PartLength >= 0) {
            if (Buffer.size() < PartLength)
                return true;
            body = Buffer.left(PartLength);
            taken(PartLength);
        } else {
            // The line end before the delimiter belongs to it: CR LF, or a bare LF.
            const qsizetype at = Find(LineDelim, SearchFrom);
            if (at < 0) {
                if (Buffer.size() > MaxPart + Delim.size() + 2) {
                    Problem = "part larger than the cap";
                    return false;
                }
                resumeBefore(LineDelim.size());
                return true;
            }
            const qsizetype end = at > 0 && Buffer[at - 1] == '\r' ? at - 1 : at;
            if (end > MaxPart) { // the whole part came in one read
                Problem = "part larger than the cap";
                return false;
            }
            body = Buffer.left(end);
            taken(end);
        }
        State = TState::Delimiter;
        ++Count;
        progress = true;
        if (!onPart(body)) {
            Problem = "stopped";
            return false;
        }
        return true;
    }
    case TState::End:
        return true;
    }
    return true;
}
