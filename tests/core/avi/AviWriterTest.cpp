#include "core/avi/AviWriter.h"

#include "RiffReader.h"
#include "core/image/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using TPixel = std::function<void(int x, int y, std::uint8_t rgb[3])>;

TBitmap MakeBitmap(int w, int h, const TPixel& pixel)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixel(x, y, b.Row(y) + 3 * x);
    return b;
}

TBitmap Solid(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return MakeBitmap(w, h, [&](int, int, std::uint8_t p[3]) {
        p[0] = r;
        p[1] = g;
        p[2] = b;
    });
}

// A frame whose every pixel tells its frame number, so that frames can be told apart on reading.
TBitmap Numbered(int w, int h, int n)
{
    return Solid(w, h, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), 0x5A);
}

QByteArray Le32(std::uint32_t v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    return b;
}

QByteArray Le16(std::uint16_t v)
{
    QByteArray b(2, 0);
    b[0] = static_cast<char>(v & 0xFF);
    b[1] = static_cast<char>(v >> 8);
    return b;
}

QByteArray FmtPcm(int rate, int channels, int bits)
{
    const int align = channels * bits / 8;
    return Le16(1) + Le16(static_cast<std::uint16_t>(channels)) + Le32(rate) +
           Le32(static_cast<std::uint32_t>(rate * align)) +
           Le16(static_cast<std::uint16_t>(align)) + Le16(static_cast<std::uint16_t>(bits));
}

// Sample bytes that count up, so that their order can be checked in the file.
QByteArray Samples(int bytes)
{
    QByteArray s(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

QByteArray Wav(const QByteArray& fmt, const QByteArray& data, bool fmtFirst = true,
               std::uint32_t declaredData = 0xFFFFFFFF)
{
    const QByteArray fmtChunk = "fmt " + Le32(static_cast<std::uint32_t>(fmt.size())) + fmt;
    QByteArray dataChunk =
        "data" +
        Le32(declaredData == 0xFFFFFFFF ? static_cast<std::uint32_t>(data.size()) : declaredData) +
        data;
    if (data.size() % 2 && declaredData == 0xFFFFFFFF)
        dataChunk += '\0';
    const QByteArray body = fmtFirst ? fmtChunk + dataChunk : dataChunk + fmtChunk;
    return "RIFF" + Le32(static_cast<std::uint32_t>(4 + body.size())) + "WAVE" + body;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const TAviError& e) {
        return e.what();
    }
    return "<no error>";
}

class AviWriterTest : public ::testing::Test
{
protected:
    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // Temporary files the writer left in the folder.
    QStringList PartFiles() const
    {
        return QDir(Dir.path()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::System);
    }

    TAviWriter Writer(int w, int h, const QString& name = QStringLiteral("out.avi"))
    {
        TAviWriter writer;
        writer.Width = w;
        writer.Height = h;
        writer.FileName = Path(name);
        return writer;
    }
};

// A frame source that fails at one frame, as a file read error half-way would.
class TFailingSource : public TAviFrameSource
{
public:
    int FailAt;
    TBitmap Frame0 = Solid(16, 16, 1, 2, 3);
    explicit TFailingSource(int failAt) : FailAt(failAt) {}
    int Count() const override { return 10; }
    const TBitmap* Frame(int index) override
    {
        if (index == FailAt)
            throw TAviError("read error");
        return &Frame0;
    }
};

// A frame source that skips the entries listed.
class TSkippingSource : public TAviFrameSource
{
public:
    std::vector<bool> Skip;
    std::vector<TBitmap> Frames;
    int Count() const override { return static_cast<int>(Skip.size()); }
    const TBitmap* Frame(int index) override
    {
        if (Skip[index])
            return nullptr;
        Frames.push_back(Numbered(8, 8, index));
        return &Frames.back();
    }
};

} // namespace

TEST(AviRules, RowAndFrameBytes)
{
    struct Row
    {
        int w, h;
        std::int64_t row, frame;
    };
    for (const Row& r : {Row{1, 1, 4, 4}, Row{2, 3, 8, 24}, Row{4, 2, 12, 24},
                         Row{101, 10, 304, 3040}, Row{640, 480, 1920, 921600}, Row{0, 10, 0, 0},
                         Row{10, 0, 32, 0}, Row{-5, 10, 0, 0}, Row{100000, 100000, 300000, 0}}) {
        if (r.w > 0) {
            EXPECT_EQ(AviRules::RowBytes(r.w), r.row) << r.w;
        }
        EXPECT_EQ(AviRules::FrameBytes(r.w, r.h), r.frame) << r.w << "x" << r.h;
    }
}

TEST(AviRules, FileExtension)
{
    struct Row
    {
        const char* path;
        const char* ext;
    };
    for (const Row& r : {Row{"a.wav", ".wav"}, Row{"/x/y/A.WAV", ".WAV"}, Row{"a.mp3.wav", ".wav"},
                         Row{"a.wav.mp3", ".mp3"}, Row{"noext", ""}, Row{"dir.wav/file", ""},
                         Row{".wav", ".wav"}, Row{"", ""}, Row{"a.", "."}}) {
        EXPECT_EQ(AviRules::FileExtension(QString::fromUtf8(r.path)), QString::fromUtf8(r.ext))
            << r.path;
    }
}

TEST(AviRules, AudioBytesUntil)
{
    // 8000 Hz, 16-bit stereo: 32000 bytes a second, blocks of 4.
    struct Row
    {
        std::int64_t frames;
        std::uint32_t frameTime;
        std::int64_t total;
        std::int64_t bytes;
    };
    for (const Row& r :
         {Row{1, 500, 100000, 16000}, Row{2, 500, 100000, 32000}, Row{1, 1, 100000, 32},
          Row{1, 333, 100000, 10656}, Row{10, 500, 100000, 100000}, Row{0, 500, 100000, 0},
          Row{5, 0, 100000, 0}, Row{1, 4000000000u, 100000, 100000}, Row{1, 1000, 30001, 30000}}) {
        EXPECT_EQ(AviRules::AudioBytesUntil(r.frames, r.frameTime, 32000, 4, r.total), r.bytes)
            << r.frames << " x " << r.frameTime;
    }
    EXPECT_EQ(AviRules::DefaultFrameSide(1920), 192);
    EXPECT_EQ(AviRules::DefaultFrameSide(1079), 107);
}

TEST(AviRules, DrawFrameStretchOffCropsAndPads)
{
    // A 3 x 2 source with distinct pixels; top left is (10, 20, 30).
    const TBitmap src = MakeBitmap(3, 2, [](int x, int y, std::uint8_t p[3]) {
        p[0] = static_cast<std::uint8_t>(10 + x + 3 * y);
        p[1] = static_cast<std::uint8_t>(20 + x + 3 * y);
        p[2] = static_cast<std::uint8_t>(30 + x + 3 * y);
    });
    struct Row
    {
        int w, h;
    };
    for (const Row& r : {Row{2, 1}, Row{3, 2}, Row{5, 4}, Row{1, 3}}) {
        const std::int64_t row = AviRules::RowBytes(r.w);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(AviRules::FrameBytes(r.w, r.h)),
                                      0xEE);
        AviRules::DrawFrame(src, r.w, r.h, false, out.data());
        for (int y = 0; y < r.h; ++y) {
            const std::uint8_t* line = &out[(r.h - 1 - y) * row];
            for (int x = 0; x < r.w; ++x) {
                const bool inside = x < 3 && y < 2;
                const int k = inside ? x + 3 * y : 0;
                EXPECT_EQ(line[3 * x + 2], 10 + k) << r.w << "x" << r.h << " at " << x << "," << y;
                EXPECT_EQ(line[3 * x + 1], 20 + k);
                EXPECT_EQ(line[3 * x + 0], 30 + k);
            }
            for (std::int64_t b = 3 * r.w; b < row; ++b)
                EXPECT_EQ(line[b], 0) << "padding";
        }
    }
}

TEST(AviRules, DrawFrameStretchScalesToTheWholeFrame)
{
    // 2 x 2 quadrants stretched to 4 x 6: each source pixel covers 2 x 3 frame pixels.
    const TBitmap src = MakeBitmap(2, 2, [](int x, int y, std::uint8_t p[3]) {
        p[0] = static_cast<std::uint8_t>(100 * x + 1);
        p[1] = static_cast<std::uint8_t>(100 * y + 2);
        p[2] = 3;
    });
    const int w = 4, h = 6;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(AviRules::FrameBytes(w, h)));
    AviRules::DrawFrame(src, w, h, true, out.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &out[(h - 1 - y) * AviRules::RowBytes(w) + 3 * x];
            EXPECT_EQ(p[2], 100 * (x / 2) + 1) << x << "," << y;
            EXPECT_EQ(p[1], 100 * (y / 3) + 2) << x << "," << y;
            EXPECT_EQ(p[0], 3);
        }
    // Shrinking and an empty source (black) do not read outside the source.
    const TBitmap big = Solid(50, 40, 9, 8, 7);
    AviRules::DrawFrame(big, w, h, true, out.data());
    EXPECT_EQ(out[0], 7);
    AviRules::DrawFrame(TBitmap(), w, h, true, out.data());
    EXPECT_EQ(out[0] | out[1] | out[2], 0);
}

TEST_F(AviWriterTest, FrameTimeIsTheScaleAgainstARateOf1000)
{
    const TBitmap a = Solid(8, 6, 255, 0, 0), b = Solid(8, 6, 0, 255, 0);
    TAviWriter w = Writer(8, 6);
    w.FrameTime = 500;
    w.Bitmaps = {&a, &b, &a};
    int progressCalls = 0;
    w.OnProgress = [&](int done, int total) {
        ++progressCalls;
        EXPECT_EQ(total, 3);
        EXPECT_EQ(done, progressCalls);
    };
    w.Write();
    EXPECT_EQ(progressCalls, 3);

    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.File.Top.size(), 1u);
    ASSERT_EQ(v.Streams.size(), 1u);
    EXPECT_EQ(v.Streams[0].Type, "vids");
    EXPECT_EQ(v.Streams[0].Scale, 500u);
    EXPECT_EQ(v.Streams[0].Rate, 1000u);
    EXPECT_EQ(v.Streams[0].Length, 3u);
    EXPECT_EQ(v.Avih(0), 500000u); // microseconds per frame
    EXPECT_EQ(v.Avih(4), 3u);      // total frames
    EXPECT_EQ(v.Avih(6), 1u);      // streams
    EXPECT_EQ(v.Avih(8), 8u);
    EXPECT_EQ(v.Avih(9), 6u);

    // The format: a 40-byte bitmap info header for 24-bit bottom-up frames.
    const TRiffChunk* strf = v.Streams[0].Strf;
    ASSERT_EQ(strf->Size, 40u);
    const std::uint64_t f = strf->DataAt();
    EXPECT_EQ(v.File.U32(f), 40u);
    EXPECT_EQ(static_cast<std::int32_t>(v.File.U32(f + 4)), 8);
    EXPECT_EQ(static_cast<std::int32_t>(v.File.U32(f + 8)), 6);
    EXPECT_EQ(v.File.U16(f + 12), 1);
    EXPECT_EQ(v.File.U16(f + 14), 24);
    EXPECT_EQ(v.File.U32(f + 16), 0u);
    EXPECT_EQ(v.File.U32(f + 20), 24u * 6);

    ASSERT_EQ(v.Chunks.size(), 3u);
    const std::array<int, 3> red{255, 0, 0}, green{0, 255, 0};
    EXPECT_EQ(v.Pixel(v.Chunks[0], 8, 6, 0, 0), red);
    EXPECT_EQ(v.Pixel(v.Chunks[1], 8, 6, 7, 5), green);
    EXPECT_EQ(v.Pixel(v.Chunks[2], 8, 6, 3, 3), red);

    // idx1: one key frame entry per frame, offsets from the movi list's type.
    const TRiffChunk* idx1 = v.File.Top[0].Find("idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(idx1->Size, 3u * 16);
    const std::uint64_t moviType = v.File.Top[0].Find("LIST", "movi")->At + 8;
    for (int i = 0; i < 3; ++i) {
        const std::uint64_t e = idx1->DataAt() + 16 * i;
        EXPECT_EQ(v.File.Four(e), "00db");
        EXPECT_EQ(v.File.U32(e + 4), 0x10u);
        EXPECT_EQ(moviType + v.File.U32(e + 8) + 8, v.Chunks[i].DataAt);
        EXPECT_EQ(v.File.U32(e + 12), v.Chunks[i].Size);
    }
    EXPECT_TRUE(PartFiles().isEmpty());
}

TEST_F(AviWriterTest, OddWidthFramesHavePaddedRows)
{
    const TBitmap src = MakeBitmap(101, 3, [](int x, int y, std::uint8_t p[3]) {
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = 7;
    });
    TAviWriter w = Writer(101, 3);
    w.Bitmaps = {&src};
    w.Write();
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Chunks.size(), 1u);
    EXPECT_EQ(v.Chunks[0].Size, 304u * 3);
    const std::array<int, 3> last{100, 2, 7}, first{0, 0, 7};
    EXPECT_EQ(v.Pixel(v.Chunks[0], 101, 3, 100, 2), last);
    EXPECT_EQ(v.Pixel(v.Chunks[0], 101, 3, 0, 0), first);
    // The first stored row is the bottom one.
    EXPECT_EQ(v.File.Bytes[v.Chunks[0].DataAt + 1], 2);
}

TEST_F(AviWriterTest, StretchOffCropsLargerAndPadsSmallerBitmaps)
{
    const TBitmap large = MakeBitmap(20, 20, [](int x, int y, std::uint8_t p[3]) {
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = 1;
    });
    const TBitmap small = MakeBitmap(4, 3, [](int x, int y, std::uint8_t p[3]) {
        p[0] = static_cast<std::uint8_t>(x == 0 && y == 0 ? 200 : 50);
        p[1] = 100;
        p[2] = 150;
    });
    TAviWriter w = Writer(10, 8);
    w.Stretch = false;
    w.Bitmaps = {&large, &small};
    w.Write();
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Chunks.size(), 2u);
    const std::array<int, 3> cropCorner{9, 7, 1};
    EXPECT_EQ(v.Pixel(v.Chunks[0], 10, 8, 9, 7), cropCorner);
    const std::array<int, 3> topLeft{200, 100, 150}, inner{50, 100, 150};
    EXPECT_EQ(v.Pixel(v.Chunks[1], 10, 8, 3, 2), inner);
    for (auto [x, y] : {std::pair{4, 0}, std::pair{9, 7}, std::pair{0, 3}, std::pair{3, 3}})
        EXPECT_EQ(v.Pixel(v.Chunks[1], 10, 8, x, y), topLeft) << x << "," << y;
}

TEST_F(AviWriterTest, RefusesBadListsAndSizesBeforeWritingAnything)
{
    const TBitmap a = Solid(4, 4, 1, 2, 3);
    struct Row
    {
        std::vector<const TBitmap*> list;
        int w, h;
        QString file;
        std::string message;
    };
    const std::vector<Row> rows = {
        {{}, 4, 4, Path("out.avi"), "No bitmaps on the Bitmaps list"},
        {{&a, &a, nullptr, &a}, 4, 4, Path("out.avi"), "Bitmaps[2] is not a TBitmap"},
        {{nullptr}, 4, 4, Path("out.avi"), "Bitmaps[0] is not a TBitmap"},
        {{&a}, 0, 4, Path("out.avi"), "Invalid bitmap"},
        {{&a}, 4, -1, Path("out.avi"), "Invalid bitmap"},
        {{&a}, 4, 4, QString(), "Unable to write output file"},
        {{&a}, 4, 4, Path("missing/folder/out.avi"), "Unable to write output file"},
    };
    for (const Row& r : rows) {
        TAviWriter w = Writer(r.w, r.h);
        w.FileName = r.file;
        w.Bitmaps = r.list;
        EXPECT_EQ(ErrorOf([&] { w.Write(); }), r.message);
        EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 0) << r.message;
    }
}

TEST_F(AviWriterTest, WavFileNameMustEndInWav)
{
    struct Step
    {
        const char* value;
        bool ok;
        const char* after;
    };
    const Step steps[] = {
        {"", true, ""}, // equal to the current empty name: ignored
        {"sound.mp3", false, ""},
        {"sound.WAV", true, "sound.WAV"},
        {"SOUND.wav", true, "sound.WAV"}, // equal without regard to case: ignored
        {"x.wav.mp3", false, "sound.WAV"},
        {"/a/b.Wav", true, "/a/b.Wav"},
        {"dir.wav/noext", false, "/a/b.Wav"},
        {"", true, ""}, // clears the sound track
        {"noext", false, ""},
    };
    TAviWriter w;
    for (const Step& s : steps) {
        const std::string error = ErrorOf([&] { w.SetWavFileName(QString::fromUtf8(s.value)); });
        EXPECT_EQ(error,
                  s.ok ? "<no error>" : "WavFileName must name a file with the .wav extension")
            << s.value;
        EXPECT_EQ(w.WavFileName(), QString::fromUtf8(s.after)) << s.value;
    }
}

TEST_F(AviWriterTest, SoundStreamIsInterleavedAndAsLongAsTheSound)
{
    // 8000 Hz 16-bit mono, 2.3 s: longer than the 4 frames of 500 ms.
    const QByteArray fmt = FmtPcm(8000, 1, 16);
    const QByteArray samples = Samples(36800);
    WriteFile(Path("s.wav"), Wav(fmt, samples));
    std::vector<TBitmap> frames;
    for (int i = 0; i < 4; ++i)
        frames.push_back(Numbered(6, 4, i));
    TAviWriter w = Writer(6, 4);
    w.FrameTime = 500;
    for (const TBitmap& b : frames)
        w.Bitmaps.push_back(&b);
    w.SetWavFileName(Path("s.wav"));
    w.Write();

    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Streams.size(), 2u);
    const TStreamView& a = v.Streams[1];
    EXPECT_EQ(a.Type, "auds");
    EXPECT_EQ(a.Scale, 2u);
    EXPECT_EQ(a.Rate, 16000u);
    EXPECT_EQ(a.SampleSize, 2u);
    EXPECT_EQ(a.Length, 18400u); // blocks: 18400 / 8000 Hz = 2.3 s
    ASSERT_EQ(a.Strf->Size, 16u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(v.File.Data(*a.Strf)), 16), fmt);
    EXPECT_EQ(v.Avih(6), 2u);
    EXPECT_TRUE(v.Avih(3) & 0x100); // interleaved

    // Before frame k the sound up to the end of frame k has been written, and no more; the
    // samples arrive whole and in order.
    QByteArray sound;
    int frame = 0;
    for (const TMoviChunk& c : v.Chunks) {
        if (c.Id == "00db") {
            EXPECT_EQ(sound.size(), std::min<int>(samples.size(), 8000 * (frame + 1))) << frame;
            ++frame;
        } else {
            ASSERT_EQ(c.Id, "01wb");
            sound.append(reinterpret_cast<const char*>(&v.File.Bytes[c.DataAt]), c.Size);
        }
    }
    EXPECT_EQ(frame, 4);
    EXPECT_EQ(sound, samples);
    // idx1 lists the sound chunks too.
    EXPECT_EQ(v.File.Top[0].Find("idx1")->Size, 16u * v.Chunks.size());
}

TEST_F(AviWriterTest, FrameTimeZeroIsPassedOnAndTheSoundFollowsTheFrames)
{
    const QByteArray samples = Samples(40000);
    WriteFile(Path("s.wav"), Wav(FmtPcm(8000, 1, 16), samples));
    const TBitmap b = Solid(4, 4, 1, 2, 3);
    TAviWriter w = Writer(4, 4);
    w.FrameTime = 0;
    w.Bitmaps = {&b, &b};
    w.SetWavFileName(Path("s.wav"));
    w.Write();
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    EXPECT_EQ(v.Streams[0].Scale, 0u);
    EXPECT_EQ(v.Streams[0].Rate, 1000u);
    ASSERT_GE(v.Chunks.size(), 4u);
    EXPECT_EQ(v.Chunks[0].Id, "00db");
    EXPECT_EQ(v.Chunks[1].Id, "00db");
    std::uint32_t sound = 0;
    for (std::size_t i = 2; i < v.Chunks.size(); ++i) {
        EXPECT_EQ(v.Chunks[i].Id, "01wb");
        EXPECT_LE(v.Chunks[i].Size, 16000u) << "about a second per chunk";
        sound += v.Chunks[i].Size;
    }
    EXPECT_EQ(sound, 40000u);
}

TEST_F(AviWriterTest, OddSizedSoundChunksArePadded)
{
    // 8-bit mono at 11025 Hz: blocks of one byte, chunk sizes may be odd.
    const QByteArray samples = Samples(11025 * 2 + 3);
    WriteFile(Path("s.wav"), Wav(FmtPcm(11025, 1, 8), samples));
    const TBitmap b = Solid(3, 3, 1, 2, 3);
    TAviWriter w = Writer(3, 3);
    w.FrameTime = 333;
    w.Bitmaps = {&b, &b, &b};
    w.SetWavFileName(Path("s.wav"));
    w.Write();
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    QByteArray sound;
    for (const TMoviChunk& c : v.Chunks)
        if (c.Id == "01wb")
            sound.append(reinterpret_cast<const char*>(&v.File.Bytes[c.DataAt]), c.Size);
    EXPECT_EQ(sound, samples);
}

TEST_F(AviWriterTest, WavFilesThatCannotBeUsed)
{
    const QByteArray fmt = FmtPcm(8000, 1, 16);
    QByteArray badAlign = fmt;
    badAlign[12] = 0; // block align 0
    struct Row
    {
        const char* name;
        QByteArray bytes;
        std::string message;
    };
    const std::string corrupt =
        "The file could not be read, indicating a corrupt file or an unrecognized format.";
    const std::vector<Row> rows = {
        {"missing.wav", QByteArray(), "A disk error occurred while opening the audio file."},
        {"text.wav", "just some text, no RIFF here", corrupt},
        {"short.wav", "RIF", corrupt},
        {"avi.wav", "RIFF" + Le32(4) + "AVI ", corrupt},
        {"nofmt.wav", "RIFF" + Le32(12) + "WAVE" + "data" + Le32(0), corrupt},
        {"align0.wav", Wav(badAlign, Samples(100)), corrupt},
        {"cutfmt.wav", "RIFF" + Le32(20) + "WAVE" + "fmt " + Le32(16) + "abcd", corrupt},
        {"nodata.wav", "RIFF" + Le32(28) + "WAVE" + "fmt " + Le32(16) + fmt,
         "Unable to get audio stream"},
    };
    const TBitmap b = Solid(4, 4, 1, 2, 3);
    for (const Row& r : rows) {
        if (!r.bytes.isNull())
            WriteFile(Path(r.name), r.bytes);
        TAviWriter w = Writer(4, 4);
        w.Bitmaps = {&b};
        w.SetWavFileName(Path(r.name));
        EXPECT_EQ(ErrorOf([&] { w.Write(); }), r.message) << r.name;
        EXPECT_FALSE(QFile::exists(Path("out.avi"))) << r.name;
        EXPECT_TRUE(PartFiles().isEmpty()) << r.name;
    }
}

TEST_F(AviWriterTest, WavWithDataFirstOrCutShortStillGivesItsSound)
{
    const QByteArray samples = Samples(1000);
    struct Row
    {
        const char* name;
        QByteArray bytes;
        int expected;
    };
    const std::vector<Row> rows = {
        {"datafirst.wav", Wav(FmtPcm(8000, 1, 16), samples, false), 1000},
        // A recording that was never closed: the size says more than there is.
        {"cut.wav", Wav(FmtPcm(8000, 1, 16), samples, true, 0x7FFFFFF0u), 1000},
        // Half a block at the end is left out.
        {"half.wav", Wav(FmtPcm(8000, 2, 16), Samples(1002)), 1000},
    };
    const TBitmap b = Solid(4, 4, 1, 2, 3);
    for (const Row& r : rows) {
        WriteFile(Path(r.name), r.bytes);
        TAviWriter w = Writer(4, 4);
        w.Bitmaps = {&b};
        w.SetWavFileName(Path(r.name));
        ASSERT_EQ(ErrorOf([&] { w.Write(); }), "<no error>") << r.name;
        TAviView v(Path("out.avi"));
        ASSERT_TRUE(v.Ok()) << r.name << " " << v.File.Error;
        int bytes = 0;
        for (const TMoviChunk& c : v.Chunks)
            if (c.Id == "01wb")
                bytes += static_cast<int>(c.Size);
        EXPECT_EQ(bytes, r.expected) << r.name;
        EXPECT_EQ(v.Streams[1].Length * v.Streams[1].Scale, static_cast<std::uint32_t>(r.expected));
    }
}

// Checks a file that went past the part limit the way an OpenDML reader walks it: the super
// index of each stream lists standard indexes whose entries reach every chunk of that stream.
void CheckOpenDml(const TAviView& v, int streamIndex, const std::string& chunkId,
                  std::vector<const TMoviChunk*>& reached)
{
    const TStreamView& s = v.Streams[streamIndex];
    ASSERT_NE(s.Indx, nullptr) << chunkId;
    const TRiffFile& f = v.File;
    const std::uint64_t at = s.Indx->DataAt();
    EXPECT_EQ(f.U16(at), 4);       // longs per entry
    EXPECT_EQ(f.Bytes[at + 3], 0); // index of indexes
    const std::uint32_t entries = f.U32(at + 4);
    EXPECT_EQ(f.Four(at + 8), chunkId);
    std::uint64_t duration = 0;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const std::uint64_t ixAt = f.U64(at + 24 + 16 * e);
        const std::uint32_t ixSize = f.U32(at + 24 + 16 * e + 8);
        duration += f.U32(at + 24 + 16 * e + 12);
        ASSERT_EQ(f.Four(ixAt), chunkId.substr(0, 2) == "00" ? "ix00" : "ix01");
        EXPECT_EQ(f.U32(ixAt + 4) + 8, ixSize);
        const std::uint64_t ix = ixAt + 8;
        EXPECT_EQ(f.U16(ix), 2);
        EXPECT_EQ(f.Bytes[ix + 3], 1); // index of chunks
        const std::uint32_t n = f.U32(ix + 4);
        EXPECT_EQ(f.Four(ix + 8), chunkId);
        const std::uint64_t base = f.U64(ix + 12);
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint64_t dataAt = base + f.U32(ix + 24 + 8 * k);
            const std::uint32_t size = f.U32(ix + 24 + 8 * k + 4);
            EXPECT_EQ(size & 0x80000000u, 0u) << "key frame";
            const TMoviChunk* hit = nullptr;
            for (const TMoviChunk& c : v.Chunks)
                if (c.DataAt == dataAt)
                    hit = &c;
            ASSERT_NE(hit, nullptr) << "entry points at no chunk";
            EXPECT_EQ(hit->Id, chunkId);
            EXPECT_EQ(hit->Size, size);
            reached.push_back(hit);
        }
    }
    EXPECT_EQ(duration, s.Length);
}

TEST_F(AviWriterTest, LongFilesContinueInOpenDmlParts)
{
    const int frameCount = 60;
    std::vector<TBitmap> frames;
    for (int i = 0; i < frameCount; ++i)
        frames.push_back(Numbered(64, 48, i));      // 9216 bytes each
    const QByteArray samples = Samples(16000 * 31); // 31 s of sound for 30 s of video
    WriteFile(Path("s.wav"), Wav(FmtPcm(8000, 1, 16), samples));

    TAviWriter w = Writer(64, 48);
    w.FrameTime = 500;
    w.PartLimit = 100000;
    for (const TBitmap& b : frames)
        w.Bitmaps.push_back(&b);
    w.SetWavFileName(Path("s.wav"));
    w.Write();

    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_GT(v.File.Top.size(), 3u);
    for (std::size_t p = 0; p < v.File.Top.size(); ++p) {
        EXPECT_EQ(v.File.Top[p].Id, "RIFF");
        EXPECT_EQ(v.File.Top[p].Type, p == 0 ? "AVI " : "AVIX");
        EXPECT_LE(v.File.Top[p].Size + 8u, 100000u) << p;
    }

    // Readers that walk the parts find every frame, in order.
    std::vector<const TMoviChunk*> framesSeen;
    for (const TMoviChunk& c : v.Chunks)
        if (c.Id == "00db")
            framesSeen.push_back(&c);
    ASSERT_EQ(framesSeen.size(), std::size_t(frameCount));
    for (int i = 0; i < frameCount; ++i) {
        const std::array<int, 3> expected{i & 0xFF, i >> 8, 0x5A};
        EXPECT_EQ(v.Pixel(*framesSeen[i], 64, 48, 5, 5), expected) << i;
    }

    // Totals: avih counts the first part, dmlh and the stream header the whole file.
    int firstPartFrames = 0;
    for (const TMoviChunk& c : v.Chunks)
        firstPartFrames += c.Id == "00db" && c.Part == 0;
    EXPECT_EQ(v.Avih(4), static_cast<std::uint32_t>(firstPartFrames));
    EXPECT_LT(firstPartFrames, frameCount);
    const TRiffChunk* dmlh = v.Hdrl->Find("LIST", "odml")->Find("dmlh");
    ASSERT_NE(dmlh, nullptr);
    EXPECT_EQ(v.File.U32(dmlh->DataAt()), static_cast<std::uint32_t>(frameCount));
    EXPECT_EQ(v.Streams[0].Length, static_cast<std::uint32_t>(frameCount));
    EXPECT_EQ(v.Streams[1].Length * 2, static_cast<std::uint32_t>(samples.size()));

    // The OpenDML indexes reach every chunk exactly once.
    std::vector<const TMoviChunk*> reached;
    CheckOpenDml(v, 0, "00db", reached);
    CheckOpenDml(v, 1, "01wb", reached);
    EXPECT_EQ(reached.size(), v.Chunks.size());
    std::sort(reached.begin(), reached.end());
    EXPECT_EQ(std::unique(reached.begin(), reached.end()), reached.end());

    // idx1 covers the first part only.
    int firstPartChunks = 0;
    for (const TMoviChunk& c : v.Chunks)
        firstPartChunks += c.Part == 0;
    EXPECT_EQ(v.File.Top[0].Find("idx1")->Size, 16u * firstPartChunks);
}

TEST(AviRules, FitRectKeepsProportionsAndCentres)
{
    using R = AviRules::TFitRect;
    const struct
    {
        int w, h, fw, fh;
        R fit;
    } rows[] = {
        {640, 480, 640, 480, {0, 0, 640, 480}},
        {320, 320, 640, 480, {80, 0, 480, 480}},  // enlarged
        {800, 200, 640, 480, {0, 160, 640, 160}}, // reduced
        {1, 1000, 10, 10, {4, 0, 1, 10}},         // never thinner than a pixel
        {0, 10, 10, 10, {}},
        {10, 10, 10, 0, {}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(AviRules::FitRect(r.w, r.h, r.fw, r.fh), r.fit) << r.w << "x" << r.h;
}

TEST(AviRules, JpegShapeStoresOnlyWholeSequentialPictures)
{
    const QByteArray jpeg = JpegCodec::Encode(Solid(40, 24, 9, 99, 199));
    ASSERT_FALSE(jpeg.isEmpty());
    // Without its Huffman tables (a stream camera's frame): libjpeg's reader refuses it too.
    QByteArray noTables = jpeg;
    for (qsizetype dht; (dht = noTables.indexOf("\xFF\xC4")) > 0;)
        noTables.remove(dht, 2 + ((uchar(noTables[dht + 2]) << 8) | uchar(noTables[dht + 3])));
    ASSERT_LT(noTables.size(), jpeg.size());
    // A second scan after the first: progressive-like, not stored as it is.
    QByteArray twoScans = jpeg.left(jpeg.size() - 2) + "\xFF\xDA" + jpeg.right(2);
    const struct
    {
        const char* name;
        QByteArray data;
        bool storable;
        qsizetype end;
    } rows[] = {
        {"whole", jpeg, true, jpeg.size()},
        {"trailing bytes", jpeg + QByteArray(5, 'x'), true, jpeg.size()},
        {"cut short", jpeg.left(jpeg.size() - 10), false, 0},
        {"no tables", noTables, false, noTables.size()},
        {"two scans", twoScans, false, 0},
        {"not a JPEG", QByteArray("GIF89a and more bytes"), false, 0},
        {"empty", QByteArray(), false, 0},
    };
    for (const auto& r : rows) {
        const AviRules::TJpegShape shape = AviRules::ReadJpegShape(r.data);
        EXPECT_EQ(shape.Storable, r.storable) << r.name;
        EXPECT_EQ(shape.End, r.end) << r.name;
        if (r.storable) {
            EXPECT_TRUE(shape.Width == 40 && shape.Height == 24) << r.name;
        }
    }
}

TEST_F(AviWriterTest, JpegFramesReadBackWithCodecSizeTimeAndIndexes)
{
    // Bitmaps of another size are fitted; all are encoded (quality 90) as 'MJPG' frames.
    const TBitmap red = Solid(32, 24, 250, 0, 0), tall = Solid(12, 24, 0, 0, 250);
    TAviWriter w = Writer(32, 24);
    w.Codec = TAviCodec::Mjpeg;
    w.FrameTime = 40;
    w.PartLimit = 4096; // every part one or two frames: the OpenDML indexes too
    for (int i = 0; i < 20; ++i)
        w.Bitmaps.push_back(i == 3 ? &tall : &red);
    w.Write();
    EXPECT_EQ(w.Report.Frames, 20);
    EXPECT_EQ(w.Report.Resized, 1);
    EXPECT_EQ(w.Report.FileBytes, QFileInfo(Path("out.avi")).size());

    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    EXPECT_GT(v.File.Top.size(), 2u);
    const TStreamView& s = v.Streams[0];
    EXPECT_EQ(v.File.Four(v.Hdrl->Find("LIST", "strl")->Find("strh")->DataAt() + 4), "MJPG");
    EXPECT_EQ(v.File.Four(s.Strf->DataAt() + 16), "MJPG");
    EXPECT_EQ(v.File.U32(s.Strf->DataAt() + 4), 32u);
    EXPECT_EQ(v.File.U32(s.Strf->DataAt() + 8), 24u);
    EXPECT_EQ(s.Scale, 40u);
    EXPECT_EQ(s.Rate, 1000u);
    EXPECT_EQ(s.Length, 20u);
    ASSERT_EQ(v.Count("00dc"), 20);
    std::vector<const TMoviChunk*> reached;
    CheckOpenDml(v, 0, "00dc", reached);
    EXPECT_EQ(reached.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        const QByteArray data(reinterpret_cast<const char*>(&v.File.Bytes[v.Chunks[i].DataAt]),
                              static_cast<qsizetype>(v.Chunks[i].Size));
        TBitmap frame;
        ASSERT_TRUE(JpegCodec::Decode(data, frame)) << i;
        ASSERT_TRUE(frame.Width == 32 && frame.Height == 24) << i;
        // The tall picture stands in the middle on black.
        EXPECT_GT(frame.Row(12)[3 * 16 + (i == 3 ? 2 : 0)], 200) << i;
        EXPECT_LT(frame.Row(12)[3 * 2] + frame.Row(12)[3 * 2 + 2], i == 3 ? 40 : 400) << i;
    }
}

TEST_F(AviWriterTest, UncompressedFitPutsOtherSizesOnBlack)
{
    const TBitmap wide = Solid(40, 10, 0, 250, 0);
    TAviWriter w = Writer(20, 20);
    w.Fit = true;
    w.Bitmaps = {&wide};
    w.Write();
    EXPECT_EQ(w.Report.Resized, 1);
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    const std::array<int, 3> black{0, 0, 0}, green{0, 250, 0};
    EXPECT_EQ(v.Pixel(v.Chunks[0], 20, 20, 10, 1), black);
    // 20 x 5 from row 7 on.
    EXPECT_EQ(v.Pixel(v.Chunks[0], 20, 20, 0, 7), green);
    EXPECT_EQ(v.Pixel(v.Chunks[0], 20, 20, 19, 11), green);
    EXPECT_EQ(v.Pixel(v.Chunks[0], 20, 20, 10, 12), black);
}

TEST_F(AviWriterTest, SmallFilesKeepOnePartWithoutOpenDmlIndexes)
{
    const TBitmap b = Solid(64, 48, 1, 2, 3);
    TAviWriter w = Writer(64, 48);
    w.PartLimit = 100000;
    w.Bitmaps = {&b, &b, &b};
    w.Write();
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    EXPECT_EQ(v.File.Top.size(), 1u);
    EXPECT_EQ(v.Streams[0].Indx, nullptr);
    EXPECT_TRUE(v.IndexChunks.empty());
}

TEST_F(AviWriterTest, FailureHalfWayLeavesNoTargetFile)
{
    const std::pair<bool, TAviCodec> rounds[] = {
        {false, TAviCodec::Raw}, {true, TAviCodec::Raw}, {true, TAviCodec::Mjpeg}};
    for (const auto& [existing, codec] : rounds) {
        if (existing)
            WriteFile(Path("out.avi"), "the previous video");
        TFailingSource source(4);
        TAviWriter w = Writer(16, 16);
        w.Codec = codec;
        EXPECT_EQ(ErrorOf([&] { w.Write(source); }), "read error");
        EXPECT_TRUE(PartFiles().isEmpty());
        if (existing) {
            QFile f(Path("out.avi"));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), QByteArray("the previous video"));
        } else {
            EXPECT_FALSE(QFile::exists(Path("out.avi")));
        }
    }
}

TEST_F(AviWriterTest, DiskFullHalfWayLeavesNoTargetFile)
{
    // A file size limit makes the writes fail part of the way, as a full disk does.
    std::vector<TBitmap> frames(30, Solid(64, 48, 1, 2, 3)); // about 277 KB of frames
    TAviWriter w = Writer(64, 48);
    for (const TBitmap& b : frames)
        w.Bitmaps.push_back(&b);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = ErrorOf([&] { w.Write(); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, "Failed to add frame to AVI. Err=0000001B"); // EFBIG
    EXPECT_FALSE(QFile::exists(Path("out.avi")));
    EXPECT_TRUE(PartFiles().isEmpty());
}

TEST_F(AviWriterTest, SkippedFramesGiveNoFrame)
{
    TSkippingSource source;
    source.Skip = {true, false, true, false, false};
    TAviWriter w = Writer(8, 8);
    w.Write(source);
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Chunks.size(), 3u);
    EXPECT_EQ(v.Streams[0].Length, 3u);
    const std::array<int, 3> third{3, 0, 0x5A};
    EXPECT_EQ(v.Pixel(v.Chunks[1], 8, 8, 0, 0), third);

    TSkippingSource none;
    none.Skip = {true, true};
    TAviWriter w2 = Writer(8, 8, QStringLiteral("none.avi"));
    EXPECT_EQ(ErrorOf([&] { w2.Write(none); }), "No bitmaps on the Bitmaps list");
    EXPECT_FALSE(QFile::exists(Path("none.avi")));
    EXPECT_TRUE(PartFiles().isEmpty());
}

TEST_F(AviWriterTest, TwoWritersOfOneTargetEachWriteAWholeFile)
{
    const TBitmap a = Solid(8, 8, 255, 0, 0);
    const TBitmap b = Solid(8, 8, 0, 0, 255);
    TAviWriter first = Writer(8, 8);
    first.Bitmaps = {&a, &a, &a, &a};
    bool secondDone = false;
    // The second writer runs from start to end while the first is half-way.
    first.OnProgress = [&](int done, int) {
        if (done != 2 || secondDone)
            return;
        TAviWriter second = Writer(8, 8);
        second.Bitmaps = {&b, &b};
        second.Write();
        secondDone = true;
        TAviView v(Path("out.avi"));
        ASSERT_TRUE(v.Ok()) << v.File.Error;
        EXPECT_EQ(v.Chunks.size(), 2u);
    };
    EXPECT_EQ(ErrorOf([&] { first.Write(); }), "<no error>");
    ASSERT_TRUE(secondDone);
    TAviView v(Path("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    ASSERT_EQ(v.Chunks.size(), 4u);
    const std::array<int, 3> red{255, 0, 0};
    for (const auto& chunk : v.Chunks)
        EXPECT_EQ(v.Pixel(chunk, 8, 8, 4, 4), red);
    EXPECT_TRUE(PartFiles().isEmpty());
}

TEST_F(AviWriterTest, LinksBesideTheTargetAreNeverFollowed)
{
    // A link where an older version put its temporary file points at an unrelated file.
    WriteFile(Path("unrelated"), "keep me");
    ASSERT_TRUE(QFile::link(Path("unrelated"), Path("out.avi.part")));
    const TBitmap frame = Solid(4, 4, 1, 2, 3);
    TAviWriter w = Writer(4, 4);
    w.Bitmaps = {&frame};
    w.Write();
    QFile f(Path("unrelated"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(Path("out.avi.part")).isSymLink());
    EXPECT_TRUE(TAviView(Path("out.avi")).Ok());
}

TEST_F(AviWriterTest, WavThatIsNotARegularFileIsRefusedWithoutBlocking)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe.wav")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(Path("folder.wav")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), Path("device.wav")));
    const TBitmap frame = Solid(4, 4, 1, 2, 3);
    for (const char* name : {"pipe.wav", "folder.wav", "device.wav"}) {
        TAviWriter w = Writer(4, 4);
        w.Bitmaps = {&frame};
        w.SetWavFileName(Path(name));
        EXPECT_EQ(ErrorOf([&] { w.Write(); }), "The audio file is not a regular file.") << name;
        EXPECT_FALSE(QFile::exists(Path("out.avi")));
        EXPECT_TRUE(PartFiles().isEmpty());
    }
}
