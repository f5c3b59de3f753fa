// The state dump that the desktop tests and the soak run read: one line per window, fields that a
// line-based script can take apart.
#include "app/StateDump.h"

#include "ThreadTestUtil.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/io/Worker.h"
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
#include "mosaic/ThumbnailTick.h"
#include "viewer/FormViewer.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

class StateDumpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Settings.OptionsPath = Dir.filePath(QStringLiteral("Options.xml"));
        Settings.Status = true;
        CamViewer = &Settings;
        RestoreMessageDefaults();
        SetThumbnailTickMilliseconds(10);
        qputenv("PICTAVO_STATE_DUMP", DumpPath().toLocal8Bit());
    }
    void TearDown() override
    {
        qunsetenv("PICTAVO_STATE_DUMP");
        Owner.reset();
        for (TSForm* form : TFormList::Of<TSForm>())
            delete form;
        CamViewer = nullptr;
        TfoViewer::SetTickMilliseconds(1000);
        EXPECT_TRUE(PumpUntil([] { return FeedsIdle(); }, 15000));
    }
    QString DumpPath() const { return Dir.filePath(QStringLiteral("state.txt")); }
    QList<QByteArray> DumpLines() const
    {
        QFile file(DumpPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll().split('\n');
    }

    QTemporaryDir Dir;
    TCamViewer Settings;
    std::unique_ptr<QObject> Owner = std::make_unique<QObject>();
};

TEST_F(StateDumpTest, ViewersThenMosaicAndChooserOneLineEach)
{
    // Nobody listens on port 9: the mosaic's thread keeps trying, nothing arrives.
    TCamCategory* category = Settings.Root.Categories.Add();
    category->Name = QStringLiteral("Cams");
    for (const char* name : {"a", "b"}) {
        TCamWebcam* webcam = category->Webcams.Add();
        webcam->Name = QString::fromLatin1(name);
        webcam->Url = QStringLiteral("http://127.0.0.1:9/%1.jpg").arg(webcam->Name);
    }
    TCamWebcam cam = *category->Webcams.Items(0);
    cam.Refresh = 3600;
    auto* viewer = CreateForm<TfoViewer>();
    // Its own first failure (refused), then none for a long tick: ours stays.
    TfoViewer::SetTickMilliseconds(100000);
    viewer->SetupWebcam(cam, false);
    ASSERT_TRUE(PumpUntil([&] { return !viewer->FailureHint().isEmpty(); }, 5000));
    // The server's words may hold double quotes; the line's quoting must survive them.
    viewer->ShowFailure({TFailureKind::Status,
                         503,
                         QStringLiteral("Say \"later\""),
                         QDateTime::currentDateTime(),
                         {}});
    CreateForm<TfoMire>()->show();
    CreateForm<TfoChoose>()->show();

    StartStateDump(Owner.get());
    ASSERT_TRUE(PumpUntil([&] { return DumpLines().size() >= 5; }, 5000));
    const QList<QByteArray> lines = DumpLines();
    ASSERT_EQ(lines.size(), 5); // four lines and the empty rest after the last line end
    EXPECT_TRUE(lines[0].startsWith("viewer name=\"foViewer\" title=\"a\" visible=1 images=0 "))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(" picture=0x0 failure=\"")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("503")) << lines[0].toStdString();
    // The size panel's caption closes the line: no image yet, the window's size alone.
    EXPECT_TRUE(lines[0].contains("Say 'later'\" size=\"")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QByteArray(" size=\"") + viewer->SizeCaption().toUtf8() + "\""))
        << lines[0].toStdString();
    EXPECT_EQ(viewer->SizeCaption(),
              QStringLiteral("%1*%2").arg(viewer->width()).arg(viewer->height()));
    EXPECT_EQ(lines[1].toStdString(), "mosaic visible=1 fetching=1 webcams=2 shown=0 pictures=0");
    EXPECT_EQ(lines[2].toStdString(), "chooser visible=1 fetching=0 thumbnails=0");
    EXPECT_EQ(lines[3].toStdString(), "app platform=offscreen");
    EXPECT_TRUE(lines[4].isEmpty());

    // Once its owner is gone the dump is no longer written.
    Owner.reset();
    ASSERT_TRUE(QFile::remove(DumpPath()));
    PumpFor(400);
    EXPECT_FALSE(QFile::exists(DumpPath()));
}

} // namespace
