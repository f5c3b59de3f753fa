// pictavo-avi run as a program: arguments, warnings, exit status and the file it writes.
#include "RiffReader.h"
#include "core/image/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct TRun
{
    int Status = -1;
    QString Out;
    QString Err;
};

QString ToolPath()
{
    return QStringLiteral(PICTAVO_BIN_DIR "/pictavo-avi");
}

TRun RunTool(const QStringList& args)
{
    QProcess p;
    p.start(ToolPath(), args);
    TRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.Status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A picture with a red top left pixel block and a blue rest.
TBitmap Picture(int w, int h)
{
    TBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.Row(y) + 3 * x;
            const bool corner = x < 8 && y < 8;
            p[0] = corner ? 230 : 10;
            p[1] = 10;
            p[2] = corner ? 10 : 230;
        }
    return b;
}

class PictavoAviTool : public ::testing::Test
{
protected:
    QTemporaryDir Dir;
    QString P(const QString& name) const { return Dir.filePath(name); }

    void SetUp() override
    {
        if (!QFile::exists(ToolPath()))
            GTEST_SKIP() << "pictavo-avi is not built";
        Write(P("bad.jpg"), "no picture here");
        Write(P("big.jpg"), JpegCodec::Encode(Picture(48, 32)));
        Write(P("small.jpg"), JpegCodec::Encode(Picture(16, 16)));
    }
    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

bool Near(const std::array<int, 3>& a, const std::array<int, 3>& b)
{
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > 12)
            return false;
    return true;
}

} // namespace

TEST_F(PictavoAviTool, FrameSizeFromTheFirstReadableFileAndUnreadableFilesSkipped)
{
    const TRun r = RunTool({QStringLiteral("-o"), P("out.avi"), P("bad.jpg"), P("big.jpg"),
                            P("missing.jpg"), P("small.jpg"), P("big.jpg")});
    ASSERT_EQ(r.Status, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QStringLiteral("skipping ") + P("bad.jpg"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QStringLiteral("skipping ") + P("missing.jpg")));
    EXPECT_EQ(r.Err.count(QStringLiteral("warning")), 2) << r.Err.toStdString();
    EXPECT_FALSE(r.Err.contains(QStringLiteral("frame "))) << "no progress line off a terminal";

    TAviView v(P("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    EXPECT_EQ(v.Avih(8), 48u);
    EXPECT_EQ(v.Avih(9), 32u);
    EXPECT_EQ(v.Streams[0].Scale, 500u); // the default pause
    ASSERT_EQ(v.Chunks.size(), 3u);
    // The small picture is not stretched: its red corner colour fills the rest of the frame.
    const std::array<int, 3> red{230, 10, 10}, blue{10, 10, 230};
    EXPECT_TRUE(Near(v.Pixel(v.Chunks[1], 48, 32, 12, 12), blue));
    EXPECT_TRUE(Near(v.Pixel(v.Chunks[1], 48, 32, 40, 28), red));
    EXPECT_TRUE(Near(v.Pixel(v.Chunks[2], 48, 32, 40, 28), blue));
}

TEST_F(PictavoAviTool, PauseAndStretch)
{
    // An empty --wav value means no sound track.
    const TRun r =
        RunTool({P("small.jpg"), P("big.jpg"), QStringLiteral("--pause"), QStringLiteral("1"),
                 QStringLiteral("--pause"), QStringLiteral("40"), QStringLiteral("--wav"),
                 QString(), QStringLiteral("--stretch"), QStringLiteral("-o"), P("out.avi")});
    ASSERT_EQ(r.Status, 0) << r.Err.toStdString();
    TAviView v(P("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    EXPECT_EQ(v.Streams[0].Scale, 40u);
    EXPECT_EQ(v.Streams[0].Rate, 1000u);
    ASSERT_EQ(v.Chunks.size(), 2u);
    // The 48 x 32 picture shrunk to 16 x 16: its red corner covers less than 3 pixels.
    const std::array<int, 3> red{230, 10, 10}, blue{10, 10, 230};
    EXPECT_TRUE(Near(v.Pixel(v.Chunks[1], 16, 16, 0, 0), red));
    EXPECT_TRUE(Near(v.Pixel(v.Chunks[1], 16, 16, 5, 5), blue));
}

// The JPEG format read back by the project's reader and, where it is installed, by ffprobe: the
// codec, the frame count, size and time (the frames themselves: AviWriterTest, AviJpegSource).
TEST_F(PictavoAviTool, CompactFormatReadsBackInEveryReader)
{
    const TRun r =
        RunTool({QStringLiteral("--codec"), QStringLiteral("mjpeg"), QStringLiteral("--pause"),
                 QStringLiteral("40"), QStringLiteral("-o"), P("out.avi"), P("big.jpg"),
                 P("bad.jpg"), P("small.jpg"), P("big.jpg")});
    ASSERT_EQ(r.Status, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Err.count(QStringLiteral("warning")), 1) << r.Err.toStdString();
    TAviView v(P("out.avi"));
    ASSERT_TRUE(v.Ok()) << v.File.Error;
    EXPECT_EQ(v.File.Four(v.Streams[0].Strf->DataAt() + 16), "MJPG");
    EXPECT_EQ(v.Streams[0].Scale, 40u);
    EXPECT_EQ(v.Count("00dc"), 3);

    QProcess probe;
    probe.start(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
         QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=codec_name,width,height,r_frame_rate,nb_read_frames"),
         QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), P("out.avi")});
    if (!probe.waitForStarted())
        GTEST_SKIP() << "ffprobe is not installed; read by the project's reader only";
    ASSERT_TRUE(probe.waitForFinished(60000));
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    for (const char* line :
         {"codec_name=mjpeg", "width=48", "height=32", "r_frame_rate=25/1", "nb_read_frames=3"})
        EXPECT_TRUE(out.contains(QLatin1String(line))) << line << " in " << out.toStdString();
}

TEST_F(PictavoAviTool, FailuresExitNonZeroWithTheMessage)
{
    struct Row
    {
        QStringList args;
        int status;
        const char* message;
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(P("pipe.jpg")).constData(), 0600), 0);
    const std::vector<Row> rows = {
        {{QStringLiteral("-o"), P("out.avi"), P("bad.jpg"), P("missing.jpg"), P("pipe.jpg")},
         1,
         "No bitmaps on the Bitmaps list"},
        {{QStringLiteral("-o"), P("out.avi")}, 1, "No bitmaps on the Bitmaps list"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--wav"), P("a.mp3"), P("big.jpg")},
         1,
         "WavFileName must name a file with the .wav extension"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--wav"), P("none.wav"), P("big.jpg")},
         1,
         "A disk error occurred while opening the audio file."},
        {{QStringLiteral("-o"), P("no/such/dir.avi"), P("big.jpg")},
         1,
         "Unable to write output file"},
        {{P("big.jpg")}, 2, "no output file"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--pause"), QStringLiteral("-5"),
          P("big.jpg")},
         2,
         "pause"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--pause"), QStringLiteral("0"),
          P("big.jpg")},
         2,
         "pause"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--pause"), QStringLiteral("1x"),
          P("big.jpg")},
         2,
         "pause"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--fast"), P("big.jpg")},
         2,
         "unknown option"},
        {{QStringLiteral("-o"), P("out.avi"), QStringLiteral("--codec"), QStringLiteral("h264"),
          P("big.jpg")},
         2,
         "raw or mjpeg"},
        {{QStringLiteral("-o")}, 2, "missing value"},
    };
    for (const Row& row : rows) {
        const TRun r = RunTool(row.args);
        EXPECT_EQ(r.Status, row.status) << row.message;
        EXPECT_TRUE(r.Err.contains(QString::fromUtf8(row.message))) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(P("out.avi"))) << row.message;
        EXPECT_TRUE(QDir(Dir.path()).entryList({QStringLiteral("*.part")}).isEmpty())
            << row.message;
    }
}

TEST_F(PictavoAviTool, Help)
{
    const TRun r = RunTool({QStringLiteral("--help")});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(r.Out.contains(QStringLiteral("Usage: pictavo-avi -o OUT.avi")));
    EXPECT_TRUE(r.Out.contains(QStringLiteral("--codec raw ")) &&
                r.Out.contains(QStringLiteral("--codec mjpeg ")));
}
