// Cutting a webcam's multipart/x-mixed-replace stream into its JPEG parts.
#include "core/net/Multipart.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(MultipartTest, DelimiterFromTheContentType)
{
    struct TRow
    {
        const char* Type;
        const char* Delimiter;
    };
    const TRow rows[] = {
        {"multipart/x-mixed-replace; boundary=frame", "--frame"},
        {"Multipart/X-Mixed-Replace;Boundary=\"my frame\"", "--my frame"},
        {"multipart/x-mixed-replace; boundary=--myboundary", "--myboundary"},
        {"multipart/x-mixed-replace", ""},
        {"image/jpeg", ""},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(StreamDelimiter(row.Type), QByteArray(row.Delimiter)) << row.Type;
}

TEST(MultipartTest, PartsWithAndWithoutLengthInAnyPieces)
{
    // Junk before the first delimiter, a part with a length whose body holds what looks like a
    // delimiter, a part without a length, bare LF line ends, a part without headers, the end.
    const QByteArray stream = "preamble\r\n"
                              "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: 14\r\n\r\n"
                              "ab\r\n--frame\r\nc\r\n"
                              "--frame\r\ncontent-length:3\r\n\r\nxyz\r\n"
                              "--frame\nContent-Type: image/jpeg\n\nno length here\n"
                              "--frame\r\n\r\nlast\r\n"
                              "--frame--\r\n"
                              "ignored";
    const std::vector<QByteArray> expected = {"ab\r\n--frame\r\nc", "xyz", "no length here",
                                              "last"};
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), stream.size()}) {
        TMultipartReader reader("--frame", 1000);
        std::vector<QByteArray> parts;
        for (qsizetype at = 0; at < stream.size(); at += piece) {
            ASSERT_TRUE(reader.Feed(stream.constData() + at, std::min(piece, stream.size() - at),
                                    [&](const QByteArray& part) {
                                        parts.push_back(part);
                                        return true;
                                    }))
                << piece << " " << reader.Error().toStdString();
        }
        EXPECT_EQ(parts, expected) << piece;
        EXPECT_TRUE(reader.Ended());
    }
}

TEST(MultipartTest, CapAppliesToEachPartAndTheOwnerMayStop)
{
    const auto keep = [](const QByteArray&) { return true; };
    const QByteArray part = "--f\r\nContent-Length: 5\r\n\r\n12345\r\n";
    TMultipartReader stream("--f", 5);
    for (int i = 0; i < 50; ++i) // many parts: the stream as a whole is far beyond the cap
        ASSERT_TRUE(stream.Feed(part.constData(), part.size(), keep));
    EXPECT_EQ(stream.Parts(), 50);

    TMultipartReader announced("--f", 4); // the announced length alone passes the cap
    EXPECT_FALSE(announced.Feed(part.constData(), part.size(), keep));
    TMultipartReader unannounced("--f", 4); // no length: the bytes without a delimiter do
    const QByteArray endless = "--f\r\n\r\n" + QByteArray(100, 'x');
    EXPECT_FALSE(unannounced.Feed(endless.constData(), endless.size(), keep));
    TMultipartReader whole("--f", 4); // nor may such a part come whole in one read
    const QByteArray closed = endless + "\r\n--f--\r\n";
    EXPECT_FALSE(whole.Feed(closed.constData(), closed.size(), keep));
    EXPECT_EQ(whole.Parts(), 0);

    TMultipartReader stopped("--f", 5);
    const QByteArray two = part + part;
    EXPECT_FALSE(
        stopped.Feed(two.constData(), two.size(), [](const QByteArray&) { return false; }));
    EXPECT_EQ(stopped.Parts(), 1);
}

TEST(MultipartTest, LongPartsAreReadInLinearTime)
{
    // A part without a length, 4 MB in 1 KB reads, then a second part and the end; and the same
    // with its first 20,000 bytes one at a time. Reading the stream looks at
    // each byte a bounded number of times, not once per read as a search from the front would.
    const QByteArray big = QByteArray(4 << 20, 'x') + "\n--fram"; // not yet a delimiter
    const QByteArray stream =
        "--frame junk after the delimiter\r\nContent-Type: image/jpeg\r\n\r\n" + big +
        "\r\n--frame\r\n\r\nnext\r\n--frame--\r\n";
    for (const qsizetype piece : {qsizetype(1024), qsizetype(1)}) {
        const qsizetype end = piece == 1 ? 20000 : stream.size(); // 1-byte reads: the first bytes
        TMultipartReader reader("--frame", 8 << 20);
        std::vector<QByteArray> parts;
        for (qsizetype at = 0; at < end; at += piece)
            ASSERT_TRUE(reader.Feed(stream.constData() + at, std::min(piece, end - at),
                                    [&](const QByteArray& part) {
                                        parts.push_back(part);
                                        return true;
                                    }))
                << reader.Error().toStdString();
        // A read looks again at most at the delimiter's length of bytes before it.
        EXPECT_LE(reader.Examined(), piece == 1 ? 10 * end : 2 * end) << piece;
        if (piece == 1)
            continue;
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_EQ(parts[0], big);
        EXPECT_EQ(parts[1], "next");
        EXPECT_TRUE(reader.Ended());
    }
}

TEST(MultipartTest, LineWithoutEndIsRefused)
{
    // Bytes that never bring the line end, on the delimiter's line or on a header line of the
    // part: refused at the header limit, not kept.
    for (const QByteArray& start : {QByteArray("--f "), QByteArray("--f\r\nX-Camera: ")}) {
        TMultipartReader reader("--f", 1 << 20);
        ASSERT_TRUE(
            reader.Feed(start.constData(), start.size(), [](const QByteArray&) { return true; }));
        const QByteArray junk(1024, 'j');
        bool ok = true;
        for (int i = 0; i < 64 && ok; ++i)
            ok = reader.Feed(junk.constData(), junk.size(), [](const QByteArray&) { return true; });
        EXPECT_FALSE(ok) << start.constData();
        EXPECT_FALSE(reader.Error().isEmpty()) << start.constData();
    }
}

} // namespace
