// The JPEG frame source decodes the next file on a second thread: run under ThreadSanitizer too.
#include "RiffReader.h"
#include "core/avi/AviJpegSource.h"
#include "core/image/JpegCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TBitmap Flat(int w, int h, int r, int g, int b)
{
    TBitmap bitmap(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = bitmap.Row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(r);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(b);
        }
    return bitmap;
}

void Save(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

bool Near(int a, int b)
{
    return std::abs(a - b) <= 4;
}

class AviJpegSourceTest : public ::testing::TestWithParam<int>
{
protected:
    QTemporaryDir Dir;
    QStringList Files;

    // Files 0, 2, 3 and 5 are pictures of grey level 40 * i; 1 is not a JPEG, 4 does not exist.
    void SetUp() override
    {
        for (int i = 0; i < 6; ++i) {
            const QString path = Dir.filePath(QStringLiteral("%1.jpg").arg(i));
            Files << path;
            if (i == 1)
                Save(path, "not a picture");
            else if (i != 4)
                Save(path, JpegCodec::Encode(Flat(24, 16, 40 * i, 40 * i, 40 * i)));
        }
    }
};

} // namespace

TEST_P(AviJpegSourceTest, DecodesEachFileWhenItsFrameIsAskedFor)
{
    TAviJpegSource source(Files, GetParam());
    QStringList skipped;
    source.OnSkip = [&](const QString& path, const QString& error) {
        EXPECT_FALSE(error.isEmpty());
        skipped << path;
    };
    ASSERT_EQ(source.Count(), 6);
    for (int i = 0; i < 6; ++i) {
        const TBitmap* frame = source.Frame(i);
        if (i == 1 || i == 4) {
            EXPECT_EQ(frame, nullptr) << i;
            continue;
        }
        ASSERT_NE(frame, nullptr) << i;
        EXPECT_EQ(frame->Width, 24);
        EXPECT_EQ(frame->Height, 16);
        EXPECT_TRUE(Near(frame->Row(8)[30], 40 * i)) << i << ": " << int(frame->Row(8)[30]);
    }
    EXPECT_EQ(skipped, (QStringList{Files[1], Files[4]}));
}

TEST_P(AviJpegSourceTest, FramesAskedOutOfOrderAreStillRight)
{
    TAviJpegSource source(Files, GetParam());
    for (int i : {3, 0, 5, 2, 3}) {
        const TBitmap* frame = source.Frame(i);
        ASSERT_NE(frame, nullptr) << i;
        EXPECT_TRUE(Near(frame->Row(0)[0], 40 * i)) << i;
    }
    EXPECT_EQ(source.Frame(6), nullptr);
    EXPECT_EQ(source.Frame(-1), nullptr);
}

TEST_P(AviJpegSourceTest, WriterTakesTheReadableFilesAsFrames)
{
    TAviJpegSource source(Files, GetParam());
    int skips = 0;
    source.OnSkip = [&](const QString&, const QString&) { ++skips; };
    TAviWriter writer;
    writer.Width = 24;
    writer.Height = 16;
    writer.FileName = Dir.filePath(QStringLiteral("out.avi"));
    writer.Write(source);
    EXPECT_EQ(skips, 2);
    TAviView v(writer.FileName);
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Chunks.size(), 4u);
    const int grey[] = {0, 80, 120, 200};
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(Near(v.Pixel(v.Chunks[k], 24, 16, 12, 8)[1], grey[k])) << k;
}

// The JPEG format: files of the frame's size go in byte for byte; another size is fitted and
// encoded again; a picture cut short is skipped like one that is no JPEG at all.
TEST_P(AviJpegSourceTest, JpegFramesAreTheFilesOrFittedPictures)
{
    QByteArray whole = JpegCodec::Encode(Flat(24, 16, 200, 200, 200));
    Save(Files[4], whole + QByteArray(7, '\0')); // bytes after the end marker are left out
    Save(Files[5], whole.left(whole.size() - 40));
    Save(Files[3], JpegCodec::Encode(Flat(8, 16, 250, 250, 250)));
    TAviJpegSource source(Files, GetParam());
    QStringList skipped;
    source.OnSkip = [&](const QString& path, const QString&) { skipped << path; };
    TAviWriter writer;
    writer.Width = 24;
    writer.Height = 16;
    writer.Codec = TAviCodec::Mjpeg;
    writer.FileName = Dir.filePath(QStringLiteral("out.avi"));
    writer.Write(source);
    EXPECT_EQ(skipped, (QStringList{Files[1], Files[5]}));
    EXPECT_EQ(writer.Report.Frames, 4);
    EXPECT_EQ(writer.Report.Skipped, 2);
    EXPECT_EQ(writer.Report.Resized, 1);

    TAviView v(writer.FileName);
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Count("00dc"), 4);
    const auto bytes = [&](int k) {
        return QByteArray(reinterpret_cast<const char*>(&v.File.Bytes[v.Chunks[k].DataAt]),
                          static_cast<qsizetype>(v.Chunks[k].Size));
    };
    QFile first(Files[0]);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(bytes(0), first.readAll());
    EXPECT_EQ(bytes(3), whole);
    // The narrow picture fitted: 8 x 16 in the middle of 24 x 16, black on both sides.
    TBitmap fitted;
    ASSERT_TRUE(JpegCodec::Decode(bytes(2), fitted));
    ASSERT_EQ(fitted.Width, 24);
    ASSERT_EQ(fitted.Height, 16);
    EXPECT_LT(fitted.Row(8)[3 * 2], 30);
    EXPECT_TRUE(Near(fitted.Row(8)[3 * 12], 250));
    EXPECT_LT(fitted.Row(8)[3 * 21], 30);
}

// A source destroyed while its prefetch still runs waits for it.
TEST_P(AviJpegSourceTest, DestroyedWithAPrefetchUnderWay)
{
    for (int round = 0; round < 20; ++round) {
        TAviJpegSource source(Files, GetParam());
        ASSERT_NE(source.Frame(0), nullptr);
    }
}

TEST_P(AviJpegSourceTest, PrimedFrameIsNotReadAgain)
{
    TAviJpegSource source(Files, GetParam());
    // The file behind frame 0 is gone: only the primed bitmap can give the frame.
    ASSERT_TRUE(QFile::remove(Files[0]));
    source.Prime(0, Flat(24, 16, 77, 77, 77));
    const TBitmap* frame = source.Frame(0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->Row(3)[3], 77);
    const TBitmap* next = source.Frame(2);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(Near(next->Row(0)[0], 80));
    EXPECT_EQ(source.Frame(0), nullptr) << "primed once, then read from its file";
}

TEST_P(AviJpegSourceTest, DecodesAheadOnlyWhatTheMemoryAllows)
{
    const qint64 frameBytes = qint64(TBitmap::StrideFor(24)) * 16;
    for (const int frames : {0, 1, 2, 10}) {
        TAviJpegSource source(Files, GetParam());
        source.MaxAheadBytes = frames * frameBytes;
        ASSERT_NE(source.Frame(0), nullptr);
        EXPECT_EQ(source.Ahead(), std::min(GetParam(), frames)) << frames;
        // The frames decoded ahead are right.
        for (int i : {2, 3}) {
            const TBitmap* frame = source.Frame(i);
            ASSERT_NE(frame, nullptr) << i;
            EXPECT_TRUE(Near(frame->Row(0)[0], 40 * i)) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lookahead, AviJpegSourceTest, ::testing::Values(0, 1, 2, 5));

TEST(AviJpegSource, FilesThatAreNotRegularAreRefusedWithoutBlocking)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pipe = dir.filePath(QStringLiteral("pipe.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& path : {pipe, dir.path(), QStringLiteral("/dev/zero")}) {
        TBitmap out;
        QString error;
        EXPECT_FALSE(TAviJpegSource::ReadFile(path, out, &error)) << path.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("not a regular file")) ||
                    error.contains(QStringLiteral("folder")))
            << error.toStdString();
    }
}
