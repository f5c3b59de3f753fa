// The pure parts of the HTTP response handling on any response: the header lines as the client
// reads them, the unchanged-image rule, the failure texts, and the body as a stream of parts
// (multipart/x-mixed-replace). A stream cut into pieces gives the same parts as the stream whole.
#include "FuzzUtil.h"
#include "core/net/FetchFailure.h"
#include "core/net/HttpClient.h"
#include "core/net/Multipart.h"

#include <QDateTime>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::EnsureCoreApp();
    return 0;
}

namespace {

struct TStreamRun
{
    std::vector<QByteArray> Parts;
    bool Failed = false;
    bool Ended = false;
    QByteArray Error;
};

// Feeds the body in pieces of `piece` bytes (0: whole); the part hook stops after `stopAfter`
// parts.
TStreamRun ReadStream(const QByteArray& delimiter, const QByteArray& body, qsizetype piece,
                      int stopAfter)
{
    constexpr qint64 maxPart = 4096;
    TMultipartReader reader(delimiter, maxPart);
    TStreamRun run;
    const auto onPart = [&](const QByteArray& part) {
        Fuzz::Check(part.size() <= maxPart, "no part is larger than the cap");
        run.Parts.push_back(part);
        return static_cast<int>(run.Parts.size()) < stopAfter;
    };
    const qsizetype step = piece > 0 ? piece : std::max<qsizetype>(body.size(), 1);
    for (qsizetype at = 0; at < body.size() && !run.Failed && !reader.Ended(); at += step) {
        const qsizetype length = std::min(step, body.size() - at);
        run.Failed = !reader.Feed(body.constData() + at, length, onPart);
    }
    Fuzz::Check(reader.Parts() == static_cast<int>(run.Parts.size()),
                "the reader counts the parts it handed on");
    run.Ended = reader.Ended();
    run.Error = reader.Error();
    Fuzz::Check(!run.Failed || !run.Error.isEmpty(), "a stream that fails says why");
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const QByteArray response = Fuzz::Bytes(data, size);
    THttpHeaders headers;
    qsizetype at = 0;
    bool headersDone = false;
    while (at < response.size() && !headersDone) {
        qsizetype end = response.indexOf('\n', at);
        end = end < 0 ? response.size() : end + 1;
        headersDone = !ReadHttpHeaderLine(response.mid(at, end - at), headers);
        at = end;
    }
    const QByteArray body = response.mid(at);

    // The unchanged-image rule: a response is its own image exactly when it tells something.
    const bool tells = headers.LastModified.isValid() || headers.ContentLength >= 0;
    Fuzz::Check(SameImage(headers, headers.LastModified, headers.ContentLength) == tells,
                "a response that tells its image is the same as itself");
    Fuzz::Check(headers.LastModifiedText.isEmpty() == !headers.LastModified.isValid(),
                "Last-Modified is kept to be sent back exactly when it reads as a date");
    if (headers.LastModified.isValid()) {
        const QByteArray formatted = FormatHttpDate(headers.LastModified);
        Fuzz::Check(SameHttpDate(ParseHttpDate(formatted), headers.LastModified),
                    "a date written in the HTTP form reads back as the same instant");
    }

    // What a failed fetch with these headers says.
    THttpResult result;
    result.Headers = headers;
    result.Outcome = (headers.Status >= 200 && headers.Status <= 299 && !headers.HasLocation)
                         ? THttpOutcome::Ok
                         : THttpOutcome::BadStatus;
    const QDateTime now = QDateTime::currentDateTime();
    const TFetchFailure failure = FailureOf(result, now);
    Fuzz::Check((failure.Kind == TFailureKind::None) == result.Ok(),
                "only a successful fetch is no failure");
    Fuzz::Check(result.Ok() || !FailureText(failure).isEmpty(), "a failure has words");
    (void)FailureHintLine(failure, now);
    (void)result.Cause();

    const QByteArray delimiter = StreamDelimiter(headers.ContentType);
    if (delimiter.isEmpty())
        return 0;
    const int stopAfter = size > 0 ? 1 + data[size - 1] % 8 : 8;
    const TStreamRun whole = ReadStream(delimiter, body, 0, stopAfter);
    for (qsizetype piece : {qsizetype(1), qsizetype(7), qsizetype(1 + size % 61)}) {
        const TStreamRun pieces = ReadStream(delimiter, body, piece, stopAfter);
        Fuzz::Check(pieces.Parts == whole.Parts && pieces.Ended == whole.Ended &&
                        pieces.Failed == whole.Failed,
                    "a stream read in pieces gives what it gives whole");
    }
    return 0;
}
