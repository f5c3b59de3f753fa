// A webcam's multipart stream with large parts, built from the input: each group of four bytes
// is a part (with or without a Content-Length, its size up to a megabyte, its fill), the rest of
// the input is the pattern the bodies repeat. The stream is fed in pieces of one chosen size and
// must come out as the parts that went in, up to the first part over the cap, which fails the
// stream instead of coming out; and the same whatever the size of the pieces.
#include "core/net/Multipart.h"

#include "FuzzUtil.h"

#include <algorithm>
#include <vector>

namespace {

constexpr qint64 MaxPart = 512 * 1024;

struct TStream
{
    QByteArray Bytes;
    std::vector<QByteArray> Parts; // the bodies, in order
    size_t UsableParts = 0;        // the parts before the first one over the cap
};

TStream BuildStream(const QByteArray& delimiter, const std::uint8_t* layout, size_t parts,
                    const QByteArray& pattern)
{
    TStream stream;
    stream.Bytes = "preamble\r\n";
    bool over = false;
    for (size_t i = 0; i < parts; ++i) {
        const std::uint8_t* p = layout + 4 * i;
        const bool withLength = p[0] & 1;
        const qsizetype value = (p[1] << 8) | p[2];
        const int scale = (p[0] >> 1) & 3; // sizes up to 255 bytes, 16 K, 256 K, 1 M
        const qsizetype size = scale == 0   ? value >> 8
                               : scale == 1 ? value >> 2
                                            : value << (scale == 2 ? 2 : 4);
        QByteArray body(size, static_cast<char>(p[3]));
        for (qsizetype at = 0; !pattern.isEmpty() && at < size; at += pattern.size() * 7)
            body.replace(at, std::min(pattern.size(), size - at), pattern.left(size - at));
        // Without a length the body must not hold a line that starts with the delimiter.
        if (!withLength)
            body.replace('\n', ' ');
        stream.Bytes += delimiter + "\r\nContent-Type: image/jpeg\r\n";
        if (withLength)
            stream.Bytes += "Content-Length: " + QByteArray::number(size) + "\r\n";
        stream.Bytes += "\r\n" + body + "\r\n";
        stream.Parts.push_back(body);
        over = over || size > MaxPart;
        if (!over)
            stream.UsableParts = stream.Parts.size();
    }
    stream.Bytes += delimiter + "--\r\n";
    return stream;
}

struct TResult
{
    std::vector<QByteArray> Parts;
    bool Failed = false;
    bool Ended = false;
};

TResult Read(const QByteArray& delimiter, const QByteArray& bytes, qsizetype piece)
{
    TMultipartReader reader(delimiter, MaxPart);
    TResult result;
    const auto onPart = [&](const QByteArray& body) {
        result.Parts.push_back(body);
        return true;
    };
    for (qsizetype at = 0; at < bytes.size() && !result.Failed && !reader.Ended(); at += piece)
        result.Failed =
            !reader.Feed(bytes.constData() + at, std::min(piece, bytes.size() - at), onPart);
    result.Ended = reader.Ended();
    Fuzz::Check(!result.Failed || !reader.Error().isEmpty(), "a stream that fails says why");
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::EnsureCoreApp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const QByteArray delimiters[] = {"--myboundary", "--x", "----=_Part_0_a-b"};
    const QByteArray& delimiter = delimiters[data[0] % 3];
    const qsizetype pieces[] = {4096, 65536, 1 << 20, 1373, 7};
    const int parts = std::min<int>(data[1] & 7, static_cast<int>((size - 2) / 4));
    const QByteArray pattern = Fuzz::Bytes(data + 2 + 4 * parts, size - 2 - 4 * parts);
    const TStream stream = BuildStream(delimiter, data + 2, static_cast<size_t>(parts), pattern);
    // Tiny pieces only for small streams: a run stays a few seconds.
    qsizetype piece = pieces[(data[1] >> 3) % 5];
    if (piece < 1024 && stream.Bytes.size() > 64 * 1024)
        piece = 4096;

    const TResult result = Read(delimiter, stream.Bytes, piece);
    const bool usable = stream.UsableParts == stream.Parts.size();
    Fuzz::Check(result.Failed != usable, "a stream fails exactly when a part is over the cap");
    Fuzz::Check(result.Ended == usable, "a usable stream reads to its closing delimiter");
    Fuzz::Check(result.Parts.size() == stream.UsableParts, "every part within the cap comes out");
    for (size_t i = 0; i < result.Parts.size(); ++i)
        Fuzz::Check(result.Parts[i] == stream.Parts[i], "each part comes out as it went in");

    const TResult whole = Read(delimiter, stream.Bytes, stream.Bytes.size());
    Fuzz::Check(whole.Parts == result.Parts && whole.Failed == result.Failed,
                "the stream whole gives what its pieces give");
    return 0;
}
