// democam serves what the demo and the benchmarks rely on.
#include "core/image/JpegCodec.h"
#include "core/net/HttpClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

class DemoCamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString program = QStringLiteral(PICTAVO_BIN_DIR "/democam");
        if (!QFile::exists(program))
            GTEST_SKIP() << "democam not built";
        ASSERT_TRUE(Dir.isValid());
        CalPath = Dir.filePath(QStringLiteral("demo.cal"));
        Process.start(program,
                      QStringList{QStringLiteral("0"), QStringLiteral("--write-cal"), CalPath,
                                  QStringLiteral("--slow-ms"), QStringLiteral("300")} +
                          ExtraArguments);
        ASSERT_TRUE(Process.waitForStarted(5000));
        ASSERT_TRUE(Process.waitForReadyRead(10000));
        Base = QString::fromLatin1(Process.readLine()).trimmed();
        ASSERT_TRUE(Base.startsWith(QStringLiteral("http://127.0.0.1:"))) << Base.toStdString();
    }
    void TearDown() override
    {
        if (Process.state() != QProcess::NotRunning) {
            Process.terminate();
            Process.waitForFinished(5000);
        }
    }

    THttpResult Get(const QString& path, QByteArray& body) { return Http.Get(Base + path, body); }

    QStringList ExtraArguments;
    QTemporaryDir Dir;
    QString CalPath;
    QProcess Process;
    QString Base;
    THttpClient Http;
};

TEST_F(DemoCamTest, ServesItsWebcams)
{
    struct TRow
    {
        const char* Path;
        THttpOutcome Outcome;
        bool Dated;
        bool Sized;
        int Width, Height;
    };
    const TRow rows[] = {
        {"clock.jpg", THttpOutcome::Ok, true, true, 640, 480},
        {"still.jpg", THttpOutcome::Ok, true, true, 640, 480},
        {"bare.jpg", THttpOutcome::Ok, false, false, 480, 360},
        {"hd.jpg", THttpOutcome::Ok, true, true, 1920, 1080},
        {"missing.jpg", THttpOutcome::BadStatus, false, true, 0, 0},
        {"moved.jpg", THttpOutcome::Ok, true, true, 640, 480}, // followed to still.jpg
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Path);
        QByteArray body;
        const THttpResult result = Get(QString::fromLatin1(row.Path), body);
        ASSERT_EQ(result.Outcome, row.Outcome);
        EXPECT_EQ(result.Headers.LastModified.isValid(), row.Dated);
        EXPECT_EQ(result.Headers.ContentLength >= 0, row.Sized);
        if (row.Outcome == THttpOutcome::Ok) {
            TBitmap bitmap;
            ASSERT_TRUE(JpegCodec::Decode(body, bitmap));
            EXPECT_EQ(bitmap.Width, row.Width);
            EXPECT_EQ(bitmap.Height, row.Height);
            if (row.Sized) {
                EXPECT_EQ(result.Headers.ContentLength, body.size());
            }
        }
    }
    QByteArray body;
    EXPECT_TRUE(Get(QStringLiteral("moved.jpg"), body).MovedTo.isEmpty()); // a 302 is for now
    EXPECT_EQ(Get(QStringLiteral("missing.jpg"), body).Headers.Status, 404);
}

TEST_F(DemoCamTest, ClockChangesEverySecondStillNever)
{
    QByteArray first, second;
    const THttpResult a = Get(QStringLiteral("clock.jpg"), first);
    const THttpResult s1 = Get(QStringLiteral("still.jpg"), first);
    QThread::msleep(1100);
    const THttpResult b = Get(QStringLiteral("clock.jpg"), second);
    const THttpResult s2 = Get(QStringLiteral("still.jpg"), second);
    ASSERT_TRUE(a.Ok() && b.Ok() && s1.Ok() && s2.Ok());
    EXPECT_GT(b.Headers.LastModified, a.Headers.LastModified);
    EXPECT_TRUE(SameHttpDate(s1.Headers.LastModified, s2.Headers.LastModified));
    EXPECT_EQ(s1.Headers.ContentLength, s2.Headers.ContentLength);

    // Asked for the image it holds, a client gets 304 without a body; the clock's image of a
    // second ago is no longer current.
    Http.Validators = THttpValidators::Of(s2.Headers);
    EXPECT_EQ(Get(QStringLiteral("still.jpg"), second).Outcome, THttpOutcome::NotModified);
    Http.Validators = THttpValidators::Of(a.Headers);
    EXPECT_TRUE(Get(QStringLiteral("clock.jpg"), second).Ok());
}

TEST_F(DemoCamTest, SlowWebcamTricklesItsBody)
{
    THttpClient http;
    std::vector<qint64> progress;
    http.OnProgress = [&](qint64 received) { progress.push_back(received); };
    QByteArray body;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(http.Get(Base + QStringLiteral("slow.jpg"), body).Ok());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_GE(progress.size(), 25u);
    TBitmap bitmap;
    EXPECT_TRUE(JpegCodec::Decode(body, bitmap));
}

TEST_F(DemoCamTest, WritesACalFileListingEveryWebcam)
{
    QFile file(CalPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_GE(lines.size(), 10);
    EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r");
    EXPECT_EQ(lines[1], "<Category Name=\"Demo\">\r");
    const QByteArray clock = " <Webcam Name=\"Clock\" Url=\"" + Base.toLatin1() +
                             "clock.jpg\" Referer=\"\" Refresh=\"5\" Homepage=\"\" Email=\"\"/>\r";
    EXPECT_EQ(lines[2], clock);
    EXPECT_TRUE(text.endsWith("</Category>\r\n"));
    EXPECT_EQ(text.count("<Webcam "), 8);
    EXPECT_EQ(text.count("\r\n"), text.count('\n')); // CR LF throughout
}

// With --soak: the troubled webcams a soak run needs.
class DemoCamSoakTest : public DemoCamTest
{
protected:
    DemoCamSoakTest()
    {
        ExtraArguments = {QStringLiteral("--soak"), QStringLiteral("--vanish-ms"),
                          QString::number(VanishMs)};
        Http.ReadTimeoutMs = 400;
    }
    static constexpr int VanishMs = 1000;

    // Whether a fetch gave a whole picture.
    bool Picture(const QString& path)
    {
        QByteArray body;
        TBitmap bitmap;
        return Get(path, body).Ok() && JpegCodec::Decode(body, bitmap);
    }
};

TEST_F(DemoCamSoakTest, TroubledWebcamsFailTheirWayAndTheServerGoesOn)
{
    // Every other answer of the stalling webcam stops (before the headers, then halfway through
    // the body) until the client gives up on it.
    for (const bool whole : {false, true, false, true}) {
        QByteArray body;
        const THttpResult result = Get(QStringLiteral("stall.jpg"), body);
        EXPECT_EQ(result.Ok(), whole) << result.Cause().toStdString();
        if (!whole) {
            EXPECT_EQ(result.Net, TNetError::TimedOut) << result.Cause().toStdString();
        }
    }
    // No garbage answer is a picture, and none stops the server.
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(Picture(QStringLiteral("garbage.jpg")));
    }
    EXPECT_TRUE(Picture(QStringLiteral("resize.jpg")));
    EXPECT_TRUE(Picture(QStringLiteral("vanish.jpg")));

    // Requests counted by target, the query included.
    QByteArray stats;
    ASSERT_TRUE(Get(QStringLiteral("stats"), stats).Ok());
    EXPECT_TRUE(stats.contains("\ntarget /garbage.jpg 9 ")) << stats.toStdString();
    EXPECT_TRUE(stats.contains("\ntarget /stall.jpg 4 ")) << stats.toStdString();
    EXPECT_FALSE(stats.contains("target /stats")) << stats.toStdString();
    Picture(QStringLiteral("clock.jpg?v=7"));
    ASSERT_TRUE(Get(QStringLiteral("stats"), stats).Ok());
    EXPECT_TRUE(stats.contains("\ntarget /clock.jpg?v=7 1 ")) << stats.toStdString();
}

TEST_F(DemoCamSoakTest, VanishingWebcamComesBack)
{
    // Present for the first period, then gone (the connection reset), then back.
    QElapsedTimer clock;
    clock.start();
    std::vector<bool> seen;
    while (clock.elapsed() < 2 * VanishMs + 500) {
        const bool picture = Picture(QStringLiteral("vanish.jpg"));
        if (seen.empty() || seen.back() != picture)
            seen.push_back(picture);
        QThread::msleep(100);
    }
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
}

} // namespace
