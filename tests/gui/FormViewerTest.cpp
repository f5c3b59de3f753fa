#include "viewer/FormViewer.h"

#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "base/StatusBar.h"
#include "base/Translator.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/image/JpegCodec.h"
#include "core/io/Worker.h"
#include "core/net/ViewerFeed.h"
#include "platform/Desktop.h"
#include "viewer/PvImage.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

QByteArray jpegOf(int width, int height)
{
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.Row(y) + x * 3;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = 128;
        }
    return JpegCodec::Encode(b, 90);
}

// Settings on a throwaway file, with the open viewers listed as the tray lists them.
class ViewerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings.OptionsPath = dir.filePath("Options.xml");
        settings.Status = true;
        settings.OnOpenViewers = &TfoViewer::OpenWebcams;
        CamViewer = &settings;
        RestoreMessageDefaults();
    }
    void TearDown() override
    {
        for (TfoViewer* v : TfoViewer::Viewers())
            delete v;
        CamViewer = nullptr;
        // The fetch threads of the closed viewers end by themselves; let them go before the
        // next test. A thread may be waiting for the UI thread to run its last event: keep the
        // loop going.
        EXPECT_TRUE(PumpUntil([] { return FeedsIdle(); }, 5000));
        TfoViewer::SetTickMilliseconds(1000);
    }

    // A viewer of a webcam that nobody serves: nothing arrives unless a test delivers it.
    TfoViewer* open(TCamWebcam cam = {}, bool applySavedState = false)
    {
        if (cam.Url.isEmpty())
            cam.Url = QStringLiteral("http://127.0.0.1:9/cam%1.jpg").arg(++counter);
        if (cam.Name.isEmpty())
            cam.Name = QStringLiteral("Cam %1").arg(counter);
        cam.Refresh = 3600;
        return openAsIs(cam, applySavedState);
    }

    // A viewer of the webcam as given, its interval included.
    static TfoViewer* openAsIs(const TCamWebcam& cam, bool applySavedState = false)
    {
        auto* v = CreateForm<TfoViewer>();
        v->SetupWebcam(cam, applySavedState);
        return v;
    }

    // A viewer of the webcam at url, fetched every refresh seconds.
    static TfoViewer* openServed(const QString& url, int refresh, const QString& name = {})
    {
        TCamWebcam cam;
        cam.Url = url;
        cam.Name = name;
        cam.Refresh = refresh;
        return openAsIs(cam);
    }

    // Archiving on, into a new folder "archive" of the test's folder.
    QString archiveImages()
    {
        const QString folder = dir.filePath("archive");
        EXPECT_TRUE(QDir().mkpath(folder));
        settings.SavePath = folder;
        settings.SaveImages = true;
        return folder;
    }

    // A file where the test names a folder: nothing can be written below it.
    QString fileInTheWay()
    {
        const QString path = dir.filePath("blocker");
        QFile blocker(path);
        EXPECT_TRUE(blocker.open(QIODevice::WriteOnly));
        return path;
    }

    QString savedFile() const
    {
        QFile f(settings.OptionsPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    QTemporaryDir dir;
    TCamViewer settings;
    int counter = 0;
};

// A webcam whose viewer was saved at this place and size.
TCamWebcam savedAt(const QRect& geometry)
{
    TCamWebcam cam;
    cam.UserLeft = geometry.x();
    cam.UserTop = geometry.y();
    cam.UserWidth = geometry.width();
    cam.UserHeight = geometry.height();
    return cam;
}

// A server's answer: the same picture at every request.
TTestHttpServer::THandler servesPicture(const QByteArray& jpeg)
{
    return [jpeg](const TTestRequest&) {
        TTestResponse r;
        r.Body = jpeg.toStdString();
        return r;
    };
}

// A server's answer: a new picture at every request, of another width and date.
TTestResponse newPictureEachRequest(const TTestRequest& request)
{
    TTestResponse r;
    r.Body = jpegOf(32 + int(request.Number % 8), 24).toStdString();
    r.Headers = {{"Last-Modified", HttpDate(1700000000LL + request.Number)}};
    return r;
}

// The size a JPEG file declares; empty when the file cannot be read as one.
QSize jpegFileSize(const QString& path)
{
    QFile file(path);
    int w = 0;
    int h = 0;
    if (!file.open(QIODevice::ReadOnly) || !JpegCodec::ReadSize(file.readAll(), w, h))
        return {};
    return {w, h};
}

// The names of a menu's items; a sub-menu's item is named by its menu.
QStringList itemNames(const QMenu* menu)
{
    QStringList names;
    for (QAction* a : menu->actions())
        names << (a->isSeparator() ? QStringLiteral("-")
                  : a->menu()      ? a->menu()->objectName()
                                   : a->objectName());
    return names;
}

} // namespace

TEST_F(ViewerTest, ContextMenuHasEveryItemShortcutAndRadioGroup)
{
    TfoViewer* v = open();
    EXPECT_EQ(v->objectName().left(8), "foViewer");
    EXPECT_TRUE(v->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(v->windowFlags() & Qt::WindowType_Mask, Qt::Tool);

    auto* popup = v->findChild<QMenu*>("PopupMenu");
    ASSERT_TRUE(popup);
    EXPECT_EQ(itemNames(popup),
              QStringList({"actHide1", "actSnooze1", "-", "Refresh1", "StopRefreshing1",
                           "RefreshInteval1", "Size1", "Opacity1", "-", "SaveImage1", "-",
                           "Alwaysontop1", "ProportionalResize1", "ShowStatus1", "-", "Close1"}));

    // Menu items of the layout run the commands of the same meaning (actHide1 runs actHide); the
    // other rows are their own command.
    struct Key
    {
        const char* name;
        QKeySequence key;
        bool checkable;
        const char* command;
    };
    const Key keys[] = {
        {"actHide1", QKeySequence(Qt::Key_Escape), false, "actHide"},
        {"actSnooze1", QKeySequence(Qt::SHIFT | Qt::Key_Escape), false, "actSnooze"},
        {"Refresh1", QKeySequence(Qt::Key_F5), false, "actRefresh"},
        {"StopRefreshing1", QKeySequence(Qt::CTRL | Qt::Key_Escape), false, "actStopRefresh"},
        {"Alwaysontop1", QKeySequence(Qt::CTRL | Qt::Key_T), true, "actAlwaysOnTop"},
        {"ProportionalResize1", QKeySequence(Qt::CTRL | Qt::Key_R), true, "actProportional"},
        {"ShowStatus1", QKeySequence(Qt::CTRL | Qt::Key_U), true, "actStatus"},
        {"Close1", QKeySequence(Qt::CTRL | Qt::Key_F4), false, "actClose"},
        {"SaveImage1", QKeySequence(Qt::CTRL | Qt::Key_S), false, "actSave"},
        {"OpacityUp1", QKeySequence(Qt::CTRL | Qt::Key_Up), false, "actAlphaUp"},
        {"OpacityDown1", QKeySequence(Qt::CTRL | Qt::Key_Down), false, "actAlphaDown"},
        {"Opaque1", QKeySequence(), false, "actOpaque"},
        {"act300x200", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_4), false, nullptr},
        {"act600x400", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_5), false, nullptr},
        {"act50", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_0), false, nullptr},
        {"act100", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_1), false, nullptr},
        {"act150", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_2), false, nullptr},
        {"act200", QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_3), false, nullptr},
        {"actFullScreen", QKeySequence(Qt::CTRL | Qt::Key_F), false, nullptr},
        {"actSave", QKeySequence(Qt::CTRL | Qt::Key_S), false, nullptr},
        {"actAlphaUp", QKeySequence(Qt::CTRL | Qt::Key_Up), false, nullptr},
        {"actAlphaDown", QKeySequence(Qt::CTRL | Qt::Key_Down), false, nullptr},
        {"N1second1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_1), false, nullptr},
        {"N2seconds1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_2), true, nullptr},
        {"N5seconds1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_3), true, nullptr},
        {"N10seconds1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_4), true, nullptr},
        {"N20seconds1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_5), true, nullptr},
        {"N60seconds1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_6), true, nullptr},
        {"Alwaysrefresh1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_9), true, nullptr},
        {"BruteRefresh1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_0), false, nullptr},
        {"Custom1", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Minus), true, nullptr},
    };
    for (const Key& k : keys) {
        auto* a = v->findChild<QAction*>(k.name);
        ASSERT_TRUE(a) << k.name;
        EXPECT_EQ(a->shortcut(), k.key) << k.name;
        EXPECT_EQ(a->isCheckable(), k.checkable) << k.name;
        auto* command = k.command ? v->findChild<QAction*>(k.command) : a;
        ASSERT_TRUE(command) << k.command;
        EXPECT_EQ(command->shortcut(), k.key) << k.name;
        // Shortcuts work while the menu is closed: the window carries every command, and only
        // once.
        EXPECT_TRUE(v->actions().contains(command)) << k.name;
        if (command != a) {
            EXPECT_FALSE(v->actions().contains(a)) << k.name;
        }
    }
    // An item follows its command: a translated caption, the check mark.
    v->findChild<QAction*>("actHide")->setText("Verbergen");
    EXPECT_EQ(v->findChild<QAction*>("actHide1")->text(), "Verbergen");
    v->findChild<QAction*>("actStatus")->trigger();
    EXPECT_FALSE(v->findChild<QAction*>("ShowStatus1")->isChecked());
    EXPECT_FALSE(v->StatusShown());
    v->findChild<QAction*>("ShowStatus1")->trigger();
    EXPECT_TRUE(v->findChild<QAction*>("actStatus")->isChecked());
    EXPECT_TRUE(v->StatusShown());
    EXPECT_TRUE(v->findChild<QAction*>("ShowStatus1")->isChecked());

    auto* intervals = v->findChild<QMenu*>("RefreshInteval1");
    ASSERT_TRUE(intervals);
    EXPECT_EQ(
        itemNames(intervals),
        QStringList({"N1second1", "N2seconds1", "N5seconds1", "N10seconds1", "N20seconds1",
                     "N60seconds1", "Auto1", "-", "Alwaysrefresh1", "BruteRefresh1", "Custom1"}));
    QActionGroup* group = intervals->actions().first()->actionGroup();
    ASSERT_TRUE(group);
    EXPECT_TRUE(group->isExclusive());
    // The webcam's own interval (3600 s, which no item carries) is marked from the start.
    EXPECT_EQ(group->checkedAction(), v->findChild<QAction*>("Custom1"));

    auto* sizeMenu = v->findChild<QMenu*>("Size1");
    auto* sizePopup = v->findChild<QMenu*>("SizePopup");
    ASSERT_TRUE(sizeMenu && sizePopup);
    const QStringList sizes = {"act300x200", "act600x400", "-", "act50",        "act100",
                               "act150",     "act200",     "-", "actFullScreen"};
    EXPECT_EQ(itemNames(sizeMenu), sizes);
    EXPECT_EQ(itemNames(sizePopup), sizes);
}

TEST_F(ViewerTest, ViewersOpenedAfterALanguageAreTranslatedBeforeTheirSetUp)
{
    settings.PropResize = true;
    ASSERT_TRUE(PvTranslator().TranslateBytes(
        "<Language><foViewer Caption=\"Betrachter\">"
        "<actHide Caption=\"Verbergen\"/><RefreshInteval1 Caption=\"Intervall\"/>"
        "<actProportional Caption=\"Proportional\"/><SpeedButton1 Hint=\"Zur Website\"/>"
        "<StatusBar><Panels><Item Index=\"0\" Hint=\"Countdown\"/>"
        "<Item Index=\"3\" Hint=\"Name der Webcam\"/></Panels></StatusBar>"
        "</foViewer></Language>"));
    // The second viewer is foViewer_1 and takes the same element.
    for (TfoViewer* v : {open(), open()}) {
        SCOPED_TRACE(v->objectName().toStdString());
        EXPECT_EQ(v->findChild<QAction*>("actHide1")->text(), "Verbergen");
        auto* intervals = v->findChild<QMenu*>("RefreshInteval1");
        ASSERT_TRUE(intervals);
        EXPECT_EQ(intervals->menuAction()->text(), "Intervall");
        EXPECT_EQ(v->findChild<QToolButton*>("SpeedButton1")->toolTip(), "Zur Website");
        auto* bar = v->findChild<TStatusBar*>("StatusBar");
        ASSERT_TRUE(bar);
        EXPECT_EQ(bar->Panel(0)->toolTip(), "Countdown");
        EXPECT_EQ(bar->Panel(3)->toolTip(), "Name der Webcam");
        // The set-up ran after the translation: the settings applied their commands, and the
        // webcam's name is the title rather than the file's caption.
        auto* proportional = v->findChild<QAction*>("ProportionalResize1");
        EXPECT_TRUE(proportional->isChecked());
        EXPECT_EQ(proportional->text(), "Proportional");
        EXPECT_EQ(v->windowTitle(), v->Webcam().Name);
        EXPECT_EQ(bar->Panel(3)->text(), v->Webcam().Name);
    }
    PvTranslator().Clear();
}

TEST_F(ViewerTest, IntervalItemsSetTheIntervalAndMoveTheMark)
{
    TfoViewer* v = open();
    struct Step
    {
        const char* item;
        int refresh;
        const char* marked;
    };
    const Step steps[] = {
        {"N5seconds1", 5, "N5seconds1"},
        {"N1second1", 1, "N5seconds1"}, // "1 second" leaves the mark where it was
        {"N60seconds1", 60, "N60seconds1"},
        {"BruteRefresh1", -1, "N60seconds1"},
        {"Alwaysrefresh1", 0, "Alwaysrefresh1"},
        {"N2seconds1", 2, "N2seconds1"},
    };
    for (const Step& s : steps) {
        auto* a = v->findChild<QAction*>(s.item);
        a->trigger();
        EXPECT_EQ(v->Webcam().Refresh, s.refresh) << s.item;
        EXPECT_EQ(v->Webcam().UserRefresh, s.refresh) << s.item;
        EXPECT_EQ(a->actionGroup()->checkedAction()->objectName(), s.marked) << s.item;
    }
}

TEST_F(ViewerTest, AutoChoiceLearnsTheIntervalAndIsStored)
{
    // Images dated 30 s apart: after a few, the viewer polls every 10 s.
    std::atomic<int> served{0};
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = jpegOf(40, 30).toStdString();
        r.Headers.push_back({"Last-Modified", HttpDate(1'700'000'000 + 30 * ++served)});
        return r;
    });
    TfoViewer::SetTickMilliseconds(1);
    TfoViewer* v = openServed(server.Url(), 3600);
    auto* automatic = v->findChild<QAction*>("Auto1");
    automatic->trigger();
    EXPECT_TRUE(v->Webcam().UserAuto);
    EXPECT_EQ(v->Webcam().Refresh, 60) << "before learning: the interval it had, within bounds";
    ASSERT_TRUE(PumpUntil([&] { return v->ImageCount() >= 3; }));
    EXPECT_EQ(v->Webcam().Refresh, 10);
    EXPECT_EQ(v->Webcam().UserRefresh, 10);
    EXPECT_TRUE(automatic->isChecked());

    // A fixed item ends the choice, even one that leaves the mark where it is.
    v->findChild<QAction*>("N1second1")->trigger();
    EXPECT_FALSE(v->Webcam().UserAuto);
    EXPECT_FALSE(automatic->isChecked());
    EXPECT_EQ(v->Webcam().Refresh, 1);

    // Reopened with the choice stored: Auto is marked and goes on from the interval stored.
    TCamWebcam stored;
    stored.Url = server.Url();
    stored.UserAuto = true;
    stored.UserRefresh = 10;
    TfoViewer* again = open(stored);
    EXPECT_TRUE(again->findChild<QAction*>("Auto1")->isChecked());
    EXPECT_EQ(again->Webcam().Refresh, 10);
}

TEST_F(ViewerTest, FirstPanelHintTellsWhyTheWebcamFails)
{
    TTestHttpServer missing([](const TTestRequest&) {
        TTestResponse r;
        r.Status = 404;
        r.Reason = "Not Found";
        return r;
    });
    TTestHttpServer notAPicture([](const TTestRequest&) {
        TTestResponse r;
        r.Body = "<html>login first</html>";
        return r;
    });
    struct TRow
    {
        QString Url;
        const char* Cause;
    };
    const TRow rows[] = {
        {QStringLiteral("http://127.0.0.1:9/cam.jpg"), "connection refused"},
        {missing.Url(), "404 Not Found"},
        {notAPicture.Url(), "not a JPEG image"},
    };
    for (const TRow& row : rows) {
        TCamWebcam cam;
        cam.Url = row.Url;
        TfoViewer* v = open(cam);
        PumpUntil([&] { return !v->FailureHint().isEmpty() && !v->CountdownText().isEmpty(); });
        const QString hint = v->FailureHint();
        EXPECT_TRUE(hint.startsWith(QStringLiteral("Last failure at "))) << hint.toStdString();
        EXPECT_TRUE(hint.endsWith(QStringLiteral(": ") + QLatin1String(row.Cause)))
            << hint.toStdString();
        // The panel's own text is still the countdown.
        EXPECT_EQ(v->CountdownText(), QStringLiteral("3600 seconds")) << row.Cause;
    }
}

TEST_F(ViewerTest, StreamShowsEveryPartLiveAndArchivesOncePerInterval)
{
    const QByteArray jpeg = jpegOf(64, 48);
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Mode = TTestResponse::Stream;
        r.Parts.assign(6, jpeg.toStdString());
        r.PartDelayMs = 250; // far apart enough for the UI to take each one, on a busy machine too
        return r;
    });
    const QString archive = archiveImages();
    TCamWebcam cam;
    cam.Url = server.Url();
    TfoViewer* v = open(cam); // interval 3600 s
    QStringList texts;
    QElapsedTimer clock;
    clock.start();
    // Every part is shown as it comes; when the UI thread is behind, the latest one. The wait
    // ends on the second picture, not on a time that a busy machine may not meet.
    PumpUntil([&] {
        if (texts.isEmpty() || texts.last() != v->CountdownText())
            texts << v->CountdownText();
        return v->ImageCount() >= 2 && clock.elapsed() >= 400;
    });
    EXPECT_GE(v->ImageCount(), 2);
    EXPECT_LE(v->ImageCount(), 6);
    EXPECT_TRUE(texts.filter(QRegularExpression("^live, [1-9][0-9]* fps$")).size() >= 1)
        << texts.join('|').toStdString();
    QDirIterator files(archive, QDir::Files, QDirIterator::Subdirectories);
    int archived = 0;
    while (files.hasNext()) {
        files.next();
        ++archived;
    }
    EXPECT_EQ(archived, 1);
}

TEST_F(ViewerTest, ClosedSlowViewersLeaveNoThreadOrConnection)
{
    // Bodies that trickle a byte every 20 ms (100 s each) for five viewers, opened and closed
    // three times: each close ends its transfer, without waiting for the image's deadline.
    TTestHttpServer server([](const TTestRequest&) { return TrickleResponse(); });
    for (int round = 0; round < 3; ++round) {
        std::vector<QPointer<TfoViewer>> viewers;
        for (int i = 0; i < 5; ++i) {
            TCamWebcam cam;
            cam.Url = server.Url(QStringLiteral("/slow%1.jpg").arg(i));
            viewers.emplace_back(open(cam));
        }
        ASSERT_TRUE(PumpUntil([&] { return server.OpenConnections() == 5; })) << round;
        for (const QPointer<TfoViewer>& v : viewers)
            v->actCloseExecute();
        EXPECT_TRUE(PumpUntil([&] { return FeedsIdle(); }, 3000)) << round;
        EXPECT_TRUE(PumpUntil([&] { return server.OpenConnections() == 0; }, 1000)) << round;
    }
}

TEST_F(ViewerTest, SmallViewerOfALargePictureShowsItsRealSizeAndDecodesFullSizeWhenAsked)
{
    TTestHttpServer server(servesPicture(jpegOf(640, 480)));
    settings.Status = false; // the whole window is picture
    // The picture takes 160 x 120 of the window: a quarter of the image.
    TCamWebcam cam = savedAt({10, 10, 160, 150});
    cam.Url = server.Url();
    TfoViewer* v = open(cam);
    auto* image = v->findChild<TPvImage*>("CamImage");
    // A saved window counts as having had its first image.
    ASSERT_TRUE(PumpUntil([&] { return v->ImageCount() >= 2; }));
    EXPECT_EQ(v->size(), QSize(160, 150)) << "the saved size stays";
    EXPECT_EQ(image->Image().size(), QSize(160, 120)) << "decoded at a quarter of its size";
    EXPECT_EQ(image->SourceSize(), QSize(640, 480));
    EXPECT_EQ(image->ImageRect(), QRect(0, 15, 160, 120));
    // The size caption speaks of the image itself: 160 of 640 pixels is 25 %.
    v->findChild<QAction*>("ProportionalResize1")->trigger();
    EXPECT_EQ(v->SizeCaption(), "25% (160*150)");

    // Save writes the image at its own size, not the quarter on screen.
    const QString path = dir.filePath("shot.jpg");
    ASSERT_TRUE(v->SaveImage(path));
    EXPECT_EQ(jpegFileSize(path), QSize(640, 480));

    // 100%: the kept image is decoded again at full size, off the UI thread.
    v->actSizeExecute(ViewerGeometry::SizeCommand::Full);
    EXPECT_EQ(v->size(), QSize(640, 480));
    EXPECT_EQ(v->SizeCaption(), "100% (640*480)");
    ASSERT_TRUE(PumpUntil([&] { return image->Image().width() == 640; }));
    EXPECT_EQ(image->Image().size(), QSize(640, 480));
    EXPECT_EQ(image->SourceSize(), QSize(640, 480));
    // Made small again, the next image comes at the smaller scale (the shown one is kept).
    v->actSizeExecute(ViewerGeometry::SizeCommand::Half);
    EXPECT_EQ(image->Image().width(), 640);
    v->actRefreshExecute();
    ASSERT_TRUE(PumpUntil([&] { return v->ImageCount() >= 3; }));
    EXPECT_EQ(image->Image().size(), QSize(320, 240));
    EXPECT_EQ(image->SourceSize(), QSize(640, 480));
}

TEST_F(ViewerTest, ArchiveIsWrittenByTheFetchThreadAndAdvancesLastId)
{
    TTestHttpServer server(newPictureEachRequest);
    const QString archive = archiveImages();
    settings.SubDirectory = false;
    TfoViewer::SetTickMilliseconds(10);
    TfoViewer* v = openServed(server.Url(), 0, "Arch");
    ASSERT_TRUE(PumpUntil([&] { return v->ImageCount() >= 3; }));
    v->actStopRefreshExecute();
    // Each image has its file, numbered from 1; the viewer's LastId follows the files written.
    for (const char* name : {"Arch 00001.jpg", "Arch 00002.jpg", "Arch 00003.jpg"})
        EXPECT_TRUE(PumpUntil([&] { return QFile::exists(archive + "/" + name); })) << name;
    EXPECT_GE(v->Webcam().LastId, 1);
}

TEST_F(ViewerTest, CountdownAndProgressInTheStatusBar)
{
    TfoViewer* v = open();
    struct Row
    {
        int n;
        const char* text;
    };
    for (const Row& r : {Row{5, "5 seconds"}, Row{2, "2 seconds"}, Row{1, "1 second"},
                         Row{0, "Checking..."}, Row{-1, "-1 seconds"}, Row{-2, "-2 seconds"}}) {
        v->ShowCountdown(r.n);
        EXPECT_EQ(v->CountdownText(), r.text) << r.n;
    }
    // A language changes the texts from the next tick on.
    TimeLeft = QStringLiteral("noch %d Sekunden");
    v->ShowCountdown(7);
    EXPECT_EQ(v->CountdownText(), "noch 7 Sekunden");
    RestoreMessageDefaults();

    auto* bar = v->findChild<QProgressBar*>("ProgressBar");
    ASSERT_TRUE(bar);
    EXPECT_FALSE(bar->isVisible());
    v->ShowProgress(512, 2048);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(v->CountdownText(), "");
    EXPECT_EQ(bar->maximum(), 2048);
    EXPECT_EQ(bar->value(), 512);
    // Before the first full image the length is 0: the bar stays empty, not a busy animation.
    v->ShowProgress(300, 0);
    EXPECT_NE(bar->maximum(), bar->minimum());
    EXPECT_EQ(bar->value(), 0);
    // A body longer than the last one fills the bar.
    v->ShowProgress(4096, 2048);
    EXPECT_EQ(bar->value(), 2048);
    v->ImageArrived(QByteArray());
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(ViewerTest, FirstImageSizesTheWindowOnce)
{
    TfoViewer* v = open();
    EXPECT_EQ(v->size(), QSize(308, 253));
    v->ImageArrived(jpegOf(320, 240));
    EXPECT_EQ(v->ImageCount(), 1);
    // 100%: the client area takes the image's size, status bar included
    EXPECT_EQ(v->size(), QSize(320, 240));
    EXPECT_EQ(v->SizeCaption(), "92% (320*240)");
    EXPECT_EQ(v->findChild<TPvImage*>("CamImage")->height(), 240 - 19);
    // the geometry is recorded from the first image on
    EXPECT_EQ(v->Webcam().UserWidth, 320);
    EXPECT_EQ(v->Webcam().UserHeight, 240);

    v->ImageArrived(jpegOf(400, 300));
    EXPECT_EQ(v->size(), QSize(320, 240));
    EXPECT_EQ(v->findChild<TPvImage*>("CamImage")->SourceSize().width(), 400);

    // an undecodable body keeps the picture and still counts
    v->ImageArrived(QByteArray("not a jpeg"));
    EXPECT_EQ(v->ImageCount(), 3);
    EXPECT_EQ(v->findChild<TPvImage*>("CamImage")->SourceSize().width(), 400);
}

TEST_F(ViewerTest, OnlyAPictureThatDecodesSizesANewWindow)
{
    TfoViewer* v = open();
    v->ImageArrived(QByteArray("<html>503 Service Unavailable</html>"));
    v->ImageArrived(QByteArray());
    EXPECT_EQ(v->size(), QSize(308, 253)) << "no picture, no size";
    EXPECT_EQ(v->Webcam().UserWidth, -1) << "nothing recorded yet";
    v->ImageArrived(jpegOf(320, 240));
    EXPECT_EQ(v->size(), QSize(320, 240));
    EXPECT_EQ(v->Webcam().UserWidth, 320);
}

TEST_F(ViewerTest, WindowStaysOnTheScreenAfterSizeCommandsAndAtOpen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize big = area.size() * 2;
    auto inside = [&](TfoViewer* v) { return area.contains(v->geometry()); };
    auto recorded = [](TfoViewer* v) {
        const TCamWebcam& c = v->Webcam();
        return QRect(c.UserLeft, c.UserTop, c.UserWidth, c.UserHeight);
    };

    // A picture twice the screen's size at 100%, and at 200% from the far corner.
    TfoViewer* v = open();
    v->move(area.right() - 200, area.bottom() - 200);
    v->ImageArrived(jpegOf(big.width(), big.height()));
    EXPECT_TRUE(inside(v)) << "after the first picture";
    EXPECT_EQ(recorded(v), v->geometry());
    v->findChild<QAction*>("act300x200")->trigger();
    v->move(area.right() - 100, area.top() + 10);
    v->findChild<QAction*>("act200")->trigger();
    EXPECT_TRUE(inside(v)) << "after 200%";
    EXPECT_EQ(v->size(), area.size());
    EXPECT_EQ(recorded(v), v->geometry());

    // Saved on a screen that is gone, or larger than this one.
    struct Row
    {
        QRect saved;
    };
    for (const Row& r : {Row{QRect(area.right() + 2000, area.bottom() + 900, 400, 300)},
                         Row{QRect(-3000, area.top(), 400, 300)},
                         Row{QRect(area.left(), area.top(), big.width(), big.height())}}) {
        TfoViewer* w = open(savedAt(r.saved));
        EXPECT_TRUE(inside(w)) << r.saved.x() << "," << r.saved.y();
        EXPECT_EQ(w->size(), r.saved.size().boundedTo(area.size()));
        EXPECT_EQ(recorded(w), w->geometry());
    }

    // FullScreen records the work area itself, so the window reopens on the screen.
    TfoViewer* full = open();
    full->ImageArrived(jpegOf(320, 240));
    full->move(area.right() - 100, area.bottom() - 100);
    full->findChild<QAction*>("actFullScreen")->trigger();
    EXPECT_EQ(recorded(full), area);
    TCamWebcam again = full->Webcam();
    again.Url += QStringLiteral("?again");
    EXPECT_TRUE(inside(open(again)));
}

TEST_F(ViewerTest, SizeChangesFromOutsideGoThroughTheSizeRuleAndAreRecorded)
{
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(640, 480));
    v->findChild<QAction*>("ProportionalResize1")->trigger();
    // The window manager or the keyboard resizes the window: the picture keeps its proportion.
    v->resize(500, 300);
    EXPECT_EQ(v->size(), QSize(500, 394));
    EXPECT_EQ(v->Webcam().UserWidth, 500);
    EXPECT_EQ(v->Webcam().UserHeight, 394);
    v->findChild<QAction*>("ProportionalResize1")->trigger();
    v->resize(420, 200);
    EXPECT_EQ(v->size(), QSize(420, 200));
    EXPECT_EQ(QSize(v->Webcam().UserWidth, v->Webcam().UserHeight), QSize(420, 200));
}

TEST_F(ViewerTest, SaveDialogStartsInTheArchiveFolderOrThePictures)
{
    auto startFolder = [&](TfoViewer* v) {
        QString folder;
        QTimer::singleShot(0, v, [&folder] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                folder = dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        v->actSaveExecute();
        return folder;
    };
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(320, 240));
    QDir(dir.path()).mkdir("archive");
    settings.SavePath = dir.filePath("archive");
    EXPECT_EQ(startFolder(v), QFileInfo(dir.filePath("archive")).absoluteFilePath());

    // No archive folder: the pictures folder (made for the test), never the process's folder.
    settings.SavePath = dir.filePath("missing");
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    ASSERT_TRUE(QDir().mkpath(pictures));
    EXPECT_EQ(startFolder(v), QFileInfo(pictures).absoluteFilePath());
    EXPECT_NE(startFolder(v), QDir::currentPath());
}

TEST_F(ViewerTest, SavedGeometryIsAppliedAndNotOverriddenByTheFirstImage)
{
    TfoViewer* v = open(savedAt({40, 30, 350, 260}));
    EXPECT_EQ(v->geometry(), QRect(40, 30, 350, 260));
    EXPECT_EQ(v->ImageCount(), 1);
    v->ImageArrived(jpegOf(320, 240));
    EXPECT_EQ(v->geometry(), QRect(40, 30, 350, 260));

    // Size without a place: the window is centred on the screen.
    TCamWebcam sized;
    sized.UserWidth = 400;
    sized.UserHeight = 300;
    TfoViewer* w = open(sized);
    const QRect screen = w->screen()->geometry();
    EXPECT_EQ(w->size(), QSize(400, 300));
    EXPECT_EQ(w->pos(), QPoint((screen.width() - 400) / 2, (screen.height() - 300) / 2));
    EXPECT_EQ(w->ImageCount(), 1);
}

TEST_F(ViewerTest, SizeCommandsAskForClientSizesThroughTheSizeRule)
{
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(200, 160));
    struct Row
    {
        const char* command;
        bool proportional;
        QSize size;
        const char* caption;
    };
    const Row rows[] = {
        // the caption tells the scale drawn: the status bar takes 19 rows of the client size
        {"act300x200", false, {300, 200}, "113% (300*200)"},
        {"act600x400", false, {600, 400}, "238% (600*400)"},
        {"act50", false, {150, 150}, "75% (150*150)"}, // 100 x 80 is below the minimum
        {"act150", false, {300, 240}, "138% (300*240)"},
        {"act200", false, {400, 320}, "188% (400*320)"},
        {"act100", false, {200, 160}, "88% (200*160)"},
        // proportional: the status bar's height is added below the image
        {"act100", true, {200, 179}, "100% (200*179)"},
        {"act300x200", true, {300, 259}, "150% (300*259)"},
    };
    for (const Row& r : rows) {
        auto* prop = v->findChild<QAction*>("ProportionalResize1");
        if (prop->isChecked() != r.proportional)
            prop->trigger();
        v->findChild<QAction*>(r.command)->trigger();
        EXPECT_EQ(v->size(), r.size) << r.command << " " << r.proportional;
        EXPECT_EQ(v->SizeCaption().toStdString(), r.caption) << r.command;
    }

    // The rule on a drag with proportional resizing: 640 x 480, frame dragged to 500 x 300
    v->ImageArrived(jpegOf(640, 480));
    EXPECT_EQ(v->FormCanResize(500, 300), QSize(500, 394));
    EXPECT_EQ(v->Webcam().UserWidth, 500);
    EXPECT_EQ(v->Webcam().UserHeight, 394);
    EXPECT_EQ(v->Webcam().UserLeft, v->x());
    // larger than the screen: exactly the screen
    EXPECT_EQ(v->FormCanResize(5000, 300), v->screen()->size());
}

TEST_F(ViewerTest, SizeCaptionsFitTheirButton)
{
    TfoViewer* v = open();
    v->show();
    auto* button = v->findChild<QToolButton*>("SizeButton");
    for (const char* caption : {"100% (1920*1080)", "400% (3840*2160)", "Plein écran"}) {
        v->SetSizeCaption(QString::fromUtf8(caption));
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(QString::fromUtf8(caption)),
                  button->width() - 4)
            << caption;
    }
    // A caption that fits takes the window's font again.
    v->SetSizeCaption("100%");
    EXPECT_EQ(button->font(), v->font());
}

TEST_F(ViewerTest, ClosingTheViewerWhileItsSaveDialogIsOpenEndsTheDialog)
{
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(64, 48));
    QPointer<TfoViewer> guard(v);
    // The tray's Close All while the dialog waits for the user.
    QTimer::singleShot(0, v, [v] { v->actCloseExecute(); });
    // Should the dialog outlive its window, it is cancelled rather than left waiting.
    QTimer::singleShot(3000, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    v->actSaveExecute();
    EXPECT_FALSE(guard);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ViewerTest, ResizeCaptionAndStatusBar)
{
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(600, 400));
    v->findChild<QAction*>("ProportionalResize1")->trigger();
    v->resize(300, 219);
    // image area 300 x 200 showing 600 x 400
    EXPECT_EQ(v->SizeCaption(), "50% (300*219)");
    // 308 x 222 is not in proportion: the rule makes it 308 x (205 + 19), image area 308 x 205
    v->resize(308, 222);
    EXPECT_EQ(v->SizeCaption(), "51% (308*224)");

    auto* image = v->findChild<TPvImage*>("CamImage");
    v->findChild<QAction*>("ShowStatus1")->trigger();
    EXPECT_FALSE(v->StatusShown());
    EXPECT_EQ(v->size(), QSize(308, 224));
    EXPECT_EQ(image->height(), 224);
    v->findChild<QAction*>("ShowStatus1")->trigger();
    EXPECT_EQ(image->height(), 205);
}

TEST_F(ViewerTest, SettingsAtCreationApplyTheirCommands)
{
    settings.AlwaysOnTop = true;
    settings.PropResize = true;
    settings.Status = false;
    TfoViewer* v = open();
    EXPECT_TRUE(v->findChild<QAction*>("Alwaysontop1")->isChecked());
    EXPECT_TRUE(v->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(v->findChild<QAction*>("ProportionalResize1")->isChecked());
    EXPECT_FALSE(v->StatusShown());
    EXPECT_TRUE(v->isVisible());

    const QRect before = v->geometry();
    v->findChild<QAction*>("Alwaysontop1")->trigger();
    EXPECT_FALSE(v->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(v->geometry(), before);
    EXPECT_TRUE(v->isVisible());
}

TEST_F(ViewerTest, HideAndSnoozeSaveAndANewImageWakes)
{
    TfoViewer* v = open();
    v->actHideExecute();
    EXPECT_FALSE(v->isVisible());
    EXPECT_EQ(v->Webcam().UserState, 2);
    EXPECT_TRUE(QFile::exists(settings.OptionsPath));

    v->RestoreWindow();
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->Webcam().UserState, 0) << "a restored window is on screen at the next start too";

    v->actSnoozeExecute();
    EXPECT_FALSE(v->isVisible());
    EXPECT_TRUE(v->Snoozed());
    EXPECT_EQ(v->Webcam().UserState, 1);

    v->ImageArrived(jpegOf(320, 240));
    EXPECT_TRUE(v->isVisible());
    EXPECT_FALSE(v->Snoozed());
    EXPECT_EQ(v->Webcam().UserState, 0);

    // Hidden windows go on showing the images they receive.
    v->actHideExecute();
    v->ImageArrived(jpegOf(300, 200));
    EXPECT_FALSE(v->isVisible());
    EXPECT_EQ(v->findChild<TPvImage*>("CamImage")->SourceSize().width(), 300);
}

TEST_F(ViewerTest, SavedStatesAreTakenOverOnlyWhenAsked)
{
    TCamWebcam hidden;
    hidden.UserState = hidden.StartState = 2;
    TfoViewer* fromMenu = open(hidden, false);
    EXPECT_TRUE(fromMenu->isVisible());
    TfoViewer* fromChooser = open(hidden, true);
    EXPECT_FALSE(fromChooser->isVisible());
    EXPECT_EQ(fromChooser->Webcam().UserState, 2);

    // Reopened snoozed: the first image is not a change and does not wake it.
    struct Row
    {
        bool geometry;
        int wakesAt;
    };
    for (const Row& r : {Row{true, 2}, Row{false, 3}}) {
        TCamWebcam snoozed;
        snoozed.UserState = snoozed.StartState = 1;
        if (r.geometry) {
            snoozed.UserWidth = 320;
            snoozed.UserHeight = 240;
        }
        TfoViewer* v = open(snoozed, true);
        EXPECT_TRUE(v->Snoozed());
        for (int i = 1; i <= r.wakesAt; ++i) {
            EXPECT_FALSE(v->isVisible()) << "image " << i << " geometry " << r.geometry;
            v->ImageArrived(jpegOf(160, 120));
        }
        EXPECT_TRUE(v->isVisible()) << "geometry " << r.geometry;
        EXPECT_EQ(v->Webcam().UserState, 0);
    }
}

TEST_F(ViewerTest, ClosingSavesWithAndThenWithoutTheWebcam)
{
    TCamWebcam a;
    a.Url = "http://127.0.0.1:9/a.jpg";
    a.Name = "A";
    TCamWebcam b;
    b.Url = "http://127.0.0.1:9/b.jpg";
    b.Name = "B";
    // The catalogue knows both: the save copies the window state back into it.
    settings.Root.Webcams.Add()->Assign(a);
    settings.Root.Webcams.Add()->Assign(b);
    TfoViewer* va = open(a);
    open(b);
    va->actAlphaDownExecute();

    QPointer<TfoViewer> guard(va);
    va->actCloseExecute();
    // The save of the command still lists the closing viewer...
    EXPECT_TRUE(savedFile().contains("a.jpg\""));
    ASSERT_TRUE(guard);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(guard);
    // ... the one at its destruction no longer does.
    const QString saved = savedFile();
    const qsizetype opened = saved.indexOf("<OpenedCams>");
    const qsizetype end = saved.indexOf("</OpenedCams>");
    ASSERT_GE(opened, 0);
    ASSERT_GT(end, opened);
    const QString openedCams = saved.mid(opened, end - opened);
    EXPECT_FALSE(openedCams.contains("a.jpg"));
    EXPECT_TRUE(openedCams.contains("b.jpg"));
    // The closed viewer's window state reached the catalogue before it went.
    EXPECT_EQ(settings.Root.FindWebcam(a.Url)->UserAlpha, 250);

    // When the program shuts down, closing viewers do not save again.
    QFile::remove(settings.OptionsPath);
    TFormList::SetShuttingDown(true);
    for (TfoViewer* v : TfoViewer::Viewers())
        delete v;
    TFormList::SetShuttingDown(false);
    EXPECT_FALSE(QFile::exists(settings.OptionsPath));
}

TEST_F(ViewerTest, OpacityStepsAndIsRecorded)
{
    TfoViewer* v = open();
    EXPECT_EQ(v->Opacity(), 255);
    v->actAlphaUpExecute();
    EXPECT_EQ(v->Opacity(), 255);
    // Ctrl+Down held down stops at the floor: the window never becomes invisible.
    for (int i = 0; i < 60; ++i)
        v->actAlphaDownExecute();
    EXPECT_EQ(v->Opacity(), ViewerGeometry::MinimumAlpha);
    EXPECT_EQ(v->Webcam().UserAlpha, ViewerGeometry::MinimumAlpha);
    EXPECT_DOUBLE_EQ(v->windowOpacity(), ViewerGeometry::MinimumAlpha / 255.0);
    v->actAlphaUpExecute();
    EXPECT_EQ(v->Webcam().UserAlpha, ViewerGeometry::MinimumAlpha + 5);
    // The context menu's Opaque goes all the way up.
    v->findChild<QAction*>("Opaque1")->trigger();
    EXPECT_EQ(v->Opacity(), 255);
    EXPECT_EQ(v->Webcam().UserAlpha, 255);
    EXPECT_DOUBLE_EQ(v->windowOpacity(), 1.0);

    TCamWebcam saved;
    saved.UserAlpha = 128;
    EXPECT_EQ(open(saved)->Opacity(), 128);
    // A value saved below the floor (an older settings file, a hand edit) is raised to it.
    TCamWebcam faint;
    faint.UserAlpha = 3;
    TfoViewer* f = open(faint);
    EXPECT_EQ(f->Opacity(), ViewerGeometry::MinimumAlpha);
    EXPECT_EQ(f->Webcam().UserAlpha, ViewerGeometry::MinimumAlpha);
    EXPECT_DOUBLE_EQ(f->windowOpacity(), ViewerGeometry::MinimumAlpha / 255.0);
}

TEST_F(ViewerTest, SaveWritesTheShownPictureAsJpeg)
{
    TfoViewer* v = open();
    const QString path = dir.filePath("shot.jpg");
    auto* save = v->findChild<QAction*>("actSave");
    EXPECT_FALSE(save->isEnabled()) << "nothing to save before the first image";
    EXPECT_FALSE(v->SaveImage(path)) << "nothing shown yet";
    EXPECT_FALSE(QFile::exists(path));
    v->ImageArrived(QByteArray("no picture"));
    EXPECT_FALSE(save->isEnabled()) << "a body that is no picture gives nothing to save";
    v->ImageArrived(jpegOf(320, 240));
    EXPECT_TRUE(save->isEnabled());
    ASSERT_TRUE(v->SaveImage(path));
    EXPECT_EQ(jpegFileSize(path), QSize(320, 240));
    EXPECT_FALSE(v->SaveImage(dir.filePath("missing/folder/shot.jpg")));

    // The command writes the file after its dialog, off the UI thread.
    const QString chosen = dir.filePath("chosen.jpg");
    QTimer::singleShot(0, v, [&chosen] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->selectFile(chosen);
            static_cast<QDialog*>(dialog)->accept();
        }
    });
    v->actSaveExecute();
    ASSERT_TRUE(PumpUntil([&] { return QFile::exists(chosen); }));
    EXPECT_EQ(jpegFileSize(chosen), QSize(320, 240));
    PumpFor(50);
    EXPECT_EQ(v->findChild<QMessageBox*>("SaveFailureBox"), nullptr) << "a good save says nothing";
}

TEST_F(ViewerTest, SaveToAPlaceThatCannotBeWrittenSaysWhy)
{
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(64, 48));
    // A folder that is a file: no file appears, and the user reads where and why.
    const QString path = fileInTheWay() + "/shot.jpg";
    QString error;
    EXPECT_FALSE(v->SaveImage(path, &error));
    EXPECT_FALSE(error.isEmpty());
    v->SaveFile(path);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = v->findChild<QMessageBox*>("SaveFailureBox")); }));
    EXPECT_TRUE(box->text().contains(path)) << box->text().toStdString();
    EXPECT_TRUE(box->text().contains(error)) << box->text().toStdString();
    EXPECT_FALSE(box->isModal()) << "the viewer goes on while the message waits";
    EXPECT_FALSE(QFile::exists(path));
    box->close();
}

namespace {
// A mouse event at a point given in screen coordinates, as the user's hand would make it.
void sendMouse(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(w->mapFromGlobal(global)), QPointF(global), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
} // namespace

TEST_F(ViewerTest, DraggingMovesWithTheMagnetAndEdgesResize)
{
    TfoViewer* v = open(savedAt({200, 150, 300, 250}));
    auto* image = v->findChild<TPvImage*>("CamImage");
    const QRect work = v->screen()->availableGeometry();

    // Drag the picture by (-50, 20): the window follows.
    const QPoint start = image->mapToGlobal(QPoint(100, 100));
    sendMouse(image, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    sendMouse(image, QEvent::MouseMove, start + QPoint(-50, 20), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->pos(), QPoint(150, 170));
    // Within 15 pixels of the work area's left edge it snaps to it; 16 away it does not.
    const QPoint near = start + QPoint(work.left() + 12 - 200, 20);
    sendMouse(image, QEvent::MouseMove, near, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->x(), work.left());
    sendMouse(image, QEvent::MouseMove, near + QPoint(4, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->x(), work.left() + 16);
    sendMouse(image, QEvent::MouseButtonRelease, near, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(v->size(), QSize(300, 250));
    EXPECT_EQ(QPoint(v->Webcam().UserLeft, v->Webcam().UserTop), v->pos())
        << "the end of a move records the place";

    // The bottom-right corner resizes; the top-left corner stays.
    const QPoint topLeft = v->pos();
    QWidget* bar = v->findChild<QWidget*>("StatusBar");
    const QPoint corner = v->mapToGlobal(QPoint(v->width() - 2, v->height() - 2));
    sendMouse(bar, QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
    sendMouse(bar, QEvent::MouseMove, corner + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->size(), QSize(340, 280));
    EXPECT_EQ(v->pos(), topLeft);
    sendMouse(bar, QEvent::MouseButtonRelease, corner + QPoint(40, 30), Qt::LeftButton,
              Qt::NoButton);

    // The left edge dragged far to the right stops at the minimum; the right edge stays.
    const int right = v->x() + v->width();
    const QPoint edge = image->mapToGlobal(QPoint(1, 100));
    sendMouse(image, QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    sendMouse(image, QEvent::MouseMove, edge + QPoint(300, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->width(), 150);
    EXPECT_EQ(v->x() + v->width(), right);
    EXPECT_EQ(v->Webcam().UserLeft, v->x()) << "the place after the step, not before";
    EXPECT_EQ(v->Webcam().UserWidth, 150);
    sendMouse(image, QEvent::MouseButtonRelease, edge + QPoint(300, 0), Qt::LeftButton,
              Qt::NoButton);
}

TEST_F(ViewerTest, ShowsServedImagesAndCountsDown)
{
    const QByteArray jpeg = jpegOf(320, 240);
    std::atomic<int> served{0};
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = jpeg.toStdString();
        // a new date each time: every response is a new image
        r.Headers.push_back({"Last-Modified", HttpDate(1'700'000'000 + ++served)});
        // the body follows the headers after a pause, so "Checking..." stays up long enough
        // for the test to see it
        r.HeaderGapMs = 150;
        return r;
    });
    // Ticks long enough for the shared countdown timer to show each second even on a busy
    // machine.
    TfoViewer::SetTickMilliseconds(60);
    TfoViewer* v = openServed(server.Url(), 3, "Served");

    QStringList texts;
    ASSERT_TRUE(PumpUntil([&] {
        const QString t = v->CountdownText();
        if (!t.isEmpty() && (texts.isEmpty() || texts.last() != t))
            texts << t;
        return v->ImageCount() >= 2;
    }));
    auto* image = v->findChild<TPvImage*>("CamImage");
    EXPECT_EQ(image->SourceSize().width(), 320);
    EXPECT_EQ(v->size(), QSize(320, 240)) << "the first image sized the window";
    // between the two images the countdown ran 3, 2, 1 and then checked
    const qsizetype at = texts.indexOf("3 seconds");
    ASSERT_GE(at, 0) << texts.join('|').toStdString();
    EXPECT_EQ(texts.mid(at, 4), QStringList({"3 seconds", "2 seconds", "1 second", "Checking..."}))
        << texts.join('|').toStdString();

    // Stop Refreshing: no more requests, panel 0 cleared.
    v->actStopRefreshExecute();
    EXPECT_FALSE(v->IsFetching());
    EXPECT_EQ(v->CountdownText(), "");
    // Brute Refresh while stopped starts fetching again.
    v->findChild<QAction*>("BruteRefresh1")->trigger();
    EXPECT_TRUE(v->IsFetching());
}

namespace {
// Answers the next input box: types text and confirms, or cancels when text is null.
void answerInputBox(const QString& text, QString* prompt)
{
    QTimer::singleShot(0, [text, prompt] {
        auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (prompt)
            *prompt = box->windowTitle() + "|" + box->labelText() + "|" + box->textValue();
        if (text.isNull()) {
            box->reject();
        } else {
            box->setTextValue(text);
            box->accept();
        }
    });
}
} // namespace

TEST_F(ViewerTest, CustomIntervalTakesAnyIntegerAndKeepsTheIntervalOtherwise)
{
    TfoViewer* v = open();
    auto* custom = v->findChild<QAction*>("Custom1");
    QString prompt;
    answerInputBox("15", &prompt);
    custom->trigger();
    EXPECT_EQ(prompt, "Refresh|Enter value for refresh interval, in seconds|3600");
    EXPECT_EQ(v->Webcam().Refresh, 15);
    EXPECT_EQ(v->Webcam().UserRefresh, 15);

    struct Row
    {
        QString answer;
        int refresh;
    };
    // A negative interval or no number is refused with a message; the interval and its mark
    // stay. 0 is "always refresh".
    struct RowMark
    {
        QString answer;
        int refresh;
        const char* marked;
        bool refused;
    };
    for (const RowMark& r :
         {RowMark{"abc", 15, "Custom1", true}, RowMark{" -5 ", 15, "Custom1", true},
          RowMark{"0", 0, "Alwaysrefresh1", false}, RowMark{"-1", 0, "Alwaysrefresh1", true},
          RowMark{QString(), 0, "Alwaysrefresh1", false},
          RowMark{"10", 10, "N10seconds1", false}}) {
        answerInputBox(r.answer, nullptr);
        custom->trigger();
        EXPECT_EQ(v->Webcam().Refresh, r.refresh) << r.answer.toStdString();
        EXPECT_TRUE(v->findChild<QAction*>(r.marked)->isChecked()) << r.answer.toStdString();
        auto* box = v->findChild<QMessageBox*>("IntervalRefusedBox");
        EXPECT_EQ(box != nullptr, r.refused) << r.answer.toStdString();
        if (box) {
            EXPECT_TRUE(box->text().contains(r.answer.trimmed()));
            delete box;
        }
    }

    // Unlike the fixed items it does not restart fetching that was stopped.
    v->actStopRefreshExecute();
    answerInputBox("20", nullptr);
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, 20);
    EXPECT_FALSE(v->IsFetching());
    v->findChild<QAction*>("N10seconds1")->trigger();
    EXPECT_TRUE(v->IsFetching());
}

TEST_F(ViewerTest, SlowDownloadShowsProgressThenTheImage)
{
    const QByteArray jpeg = jpegOf(320, 240);
    TTestHttpServer server([&](const TTestRequest&) {
        TTestResponse r;
        r.Body = jpeg.toStdString();
        r.Mode = TTestResponse::Trickle;
        r.TrickleChunk = 1024;
        r.TrickleDelayMs = 5;
        r.Headers.push_back({"Last-Modified", HttpDate(1'700'000'000)});
        return r;
    });
    TfoViewer::SetTickMilliseconds(20);
    TfoViewer* v = openServed(server.Url(), 60, "Slow");
    auto* bar = v->findChild<QProgressBar*>("ProgressBar");
    bool sawProgress = false;
    PumpUntil([&] {
        sawProgress = sawProgress || bar->isVisible();
        return v->ImageCount() >= 1;
    });
    EXPECT_TRUE(sawProgress);
    ASSERT_EQ(v->ImageCount(), 1);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(v->findChild<TPvImage*>("CamImage")->SourceSize().width(), 320);
}

TEST_F(ViewerTest, HiddenAndSnoozedViewersReopenAsTheyWereAfterARestart)
{
    struct Row
    {
        const char* command;
        bool visible;
        bool snoozed;
        int state;
    };
    for (const Row& r : {Row{"actHide1", false, false, 2}, Row{"actSnooze1", false, true, 1},
                         Row{nullptr, true, false, -1}}) {
        settings.Root.Webcams.Clear();
        TCamWebcam cam;
        cam.Url = "http://127.0.0.1:9/kept.jpg";
        cam.Name = "Kept";
        settings.Root.Webcams.Add()->Assign(cam);
        TfoViewer* v = open(cam);
        v->move(60, 70);
        v->SetClientSize(400, 300);        // no image yet: nothing recorded
        v->ImageArrived(jpegOf(320, 240)); // the first image takes its size and records it
        if (r.command)
            v->findChild<QAction*>(r.command)->trigger();
        ASSERT_TRUE(settings.SaveOptions());
        // The program ends: its windows go without saving.
        TFormList::SetShuttingDown(true);
        delete v;
        TFormList::SetShuttingDown(false);

        // The next start reopens the viewer through the tray's road, with the saved state.
        TCamViewer next;
        next.OptionsPath = settings.OptionsPath;
        TfoViewer* reopened = nullptr;
        next.OnOpenViewer = [&](TCamWebcam* webcam, bool applySavedState) {
            reopened = openAsIs(*webcam, applySavedState);
        };
        CamViewer = &next;
        next.LoadOptions();
        CamViewer = &settings;
        ASSERT_TRUE(reopened) << (r.command ? r.command : "shown");
        EXPECT_EQ(reopened->isVisible(), r.visible) << (r.command ? r.command : "shown");
        EXPECT_EQ(reopened->Snoozed(), r.snoozed);
        EXPECT_EQ(reopened->Webcam().UserState, r.state);
        EXPECT_EQ(reopened->geometry(), QRect(60, 70, 320, 240));
        EXPECT_EQ(reopened->ImageCount(), 1);
        delete reopened;
    }
}

TEST_F(ViewerTest, FullScreenMaximisesAndASizeCommandRestores)
{
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(320, 240));
    v->findChild<QAction*>("ProportionalResize1")->trigger();
    v->findChild<QAction*>("actFullScreen")->trigger();
    EXPECT_TRUE(v->windowState() & Qt::WindowMaximized);
    const auto showsItsSize = [v] {
        return v->SizeCaption().endsWith(
            QStringLiteral("(%1*%2)").arg(v->width()).arg(v->height()));
    };
    EXPECT_TRUE(showsItsSize()) << v->SizeCaption().toStdString();
    // Maximising is recorded as the window's size; the proportional rule stays out of it.
    const QRect area = v->screen()->availableGeometry();
    EXPECT_EQ(v->Webcam().UserWidth, area.width());
    EXPECT_EQ(v->Webcam().UserHeight, area.height());
    QCoreApplication::processEvents();
    EXPECT_TRUE(showsItsSize()) << "the size shown while maximised too";

    v->findChild<QAction*>("act100")->trigger();
    EXPECT_FALSE(v->windowState() & Qt::WindowMaximized);
    // The asked size went through the rule while the window was still maximised: only the
    // minimum applied, the status bar is not added.
    EXPECT_EQ(v->size(), QSize(320, 240));
    v->findChild<QAction*>("act100")->trigger();
    EXPECT_EQ(v->size(), QSize(320, 259));
    EXPECT_EQ(v->SizeCaption(), "100% (320*259)");
}

TEST_F(ViewerTest, MailAndHomePageButtonsOpenAPlainAddressAndNeverHeaders)
{
    QStringList opened;
    SetUrlOpener([&opened](const QUrl& url) {
        opened << url.toString(QUrl::FullyEncoded);
        return true;
    });
    TCamWebcam hostile;
    hostile.Email = "webmaster@cam.example.org?attach=/home/user/.ssh/id_rsa";
    hostile.Homepage = "mailto:webmaster@cam.example.org?attach=/home/user/.ssh/id_rsa";
    TfoViewer* v = open(hostile);
    EXPECT_FALSE(v->findChild<QAction*>("actEmail")->isEnabled());
    v->findChild<QAction*>("actEmail")->trigger();
    v->findChild<QAction*>("actSite")->trigger();
    EXPECT_TRUE(opened.isEmpty()) << opened.join(' ').toStdString();

    TCamWebcam plain;
    plain.Email = " webmaster@cam.example.org ";
    v = open(plain);
    EXPECT_TRUE(v->findChild<QAction*>("actEmail")->isEnabled());
    v->findChild<QAction*>("actEmail")->trigger();
    EXPECT_EQ(opened, QStringList{"mailto:webmaster@cam.example.org"});
    SetUrlOpener(nullptr);
}

TEST_F(ViewerTest, SizePanelShowsTheScaleAndSizeShown)
{
    // A webcam larger than the screen at "100%": the window is brought inside the work area, and
    // the panel tells the scale the picture is really drawn at.
    TfoViewer* big = open();
    big->ImageArrived(jpegOf(1920, 1080));
    auto* image = big->findChild<TPvImage*>("CamImage");
    ASSERT_LT(big->width(), 1920);
    const int percent = qRound(image->ImageRect().width() * 100.0 / 1920);
    EXPECT_LT(percent, 100);
    EXPECT_EQ(big->SizeCaption(),
              QStringLiteral("%1% (%2*%3)").arg(percent).arg(big->width()).arg(big->height()));

    // A viewer restored at its saved size: the window's size until the image comes, then its
    // scale (not "0%").
    TfoViewer* restored = open(savedAt({10, 10, 640, 499}));
    EXPECT_EQ(restored->SizeCaption(), "640*499");
    restored->ImageArrived(jpegOf(640, 480));
    EXPECT_EQ(restored->SizeCaption(), "100% (640*499)");

    // Proportional resizing off: a size from outside (the window manager) is told too, never the
    // button's first caption.
    TfoViewer* v = open();
    v->ImageArrived(jpegOf(600, 400));
    ASSERT_FALSE(v->findChild<QAction*>("ProportionalResize1")->isChecked());
    v->resize(320, 219);
    EXPECT_EQ(v->SizeCaption(), "50% (320*219)");
    // The status bar hidden gives the picture more room.
    v->findChild<QAction*>("ShowStatus1")->trigger();
    EXPECT_EQ(v->SizeCaption(), "53% (320*219)");
}

TEST_F(ViewerTest, NewViewersCascadeOnTheScreen)
{
    std::vector<TfoViewer*> viewers;
    for (int i = 0; i < 3; ++i)
        viewers.push_back(open());
    const QRect area = viewers[0]->screen()->availableGeometry();
    for (size_t i = 1; i < viewers.size(); ++i) {
        EXPECT_EQ(viewers[i]->pos(), viewers[i - 1]->pos() + QPoint(24, 24)) << i;
        EXPECT_TRUE(area.contains(viewers[i]->geometry())) << i;
    }
    // The cascade starts again at the corner when the next place would leave the work area.
    TfoViewer* fourth = viewers.back();
    fourth->move(area.right() - fourth->width() - 10, area.bottom() - fourth->height() - 10);
    TfoViewer* fifth = open();
    EXPECT_EQ(fifth->pos(), area.topLeft());
    EXPECT_TRUE(area.contains(fifth->geometry()));
}

TEST_F(ViewerTest, IntervalMenuMarksTheWebcamsOwnIntervalFromTheStart)
{
    struct Row
    {
        int userRefresh;
        bool automatic;
        const char* marked;
    };
    for (const Row& r :
         {Row{-1, false, "Custom1"}, Row{10, false, "N10seconds1"}, Row{0, false, "Alwaysrefresh1"},
          Row{30, true, "Auto1"}, Row{45, false, "Custom1"}}) {
        TCamWebcam cam;
        cam.UserRefresh = r.userRefresh; // -1: the catalogue's 3600 s
        cam.UserAuto = r.automatic;
        TfoViewer* v = open(cam);
        EXPECT_TRUE(v->findChild<QAction*>(r.marked)->isChecked()) << r.marked;
        delete v;
    }
}

TEST_F(ViewerTest, ArchiveThatCannotBeWrittenIsToldOnceAndHinted)
{
    TTestHttpServer server(newPictureEachRequest);
    // The archive folder is a file.
    settings.SavePath = fileInTheWay();
    settings.SaveImages = true;
    TfoViewer::SetTickMilliseconds(10);
    TCamWebcam cam;
    cam.Url = server.Url("/blocked.jpg");
    cam.Name = "Blocked";
    cam.Refresh = 0;
    auto boxes = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "ArchiveFailureBox" && qobject_cast<QMessageBox*>(w))
                ++n;
        return n;
    };
    for (int round = 0; round < 2; ++round) {
        TfoViewer* v = openAsIs(cam);
        ASSERT_TRUE(PumpUntil([&] { return v->ImageCount() >= 3; })) << round;
        ASSERT_TRUE(PumpUntil([&] { return v->FailureHint().contains("Not archived: "); }))
            << v->FailureHint().toStdString();
        // Once per webcam in the session: not per image, not per viewer opened again.
        EXPECT_EQ(boxes(), 1) << round;
        delete v;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "ArchiveFailureBox") {
            EXPECT_TRUE(static_cast<QMessageBox*>(w)->text().contains("Blocked"));
            delete w;
        }
    // A folder that can be written again ends the hint.
    settings.SavePath = dir.path();
    TfoViewer* v = openAsIs(cam);
    ASSERT_TRUE(PumpUntil([&] { return v->ImageCount() >= 3; }));
    EXPECT_FALSE(v->FailureHint().contains("Not archived")) << v->FailureHint().toStdString();
}

TEST_F(ViewerTest, EditedWebcamReachesItsOpenViewer)
{
    TCamWebcam cam;
    cam.Url = "http://127.0.0.1:9/edited.jpg";
    cam.Name = "Old name";
    TfoViewer* v = open(cam);
    // The editor's OK: the catalogue now holds the webcam under its new name and home page.
    TCamWebcam* edited = settings.Root.Webcams.Add();
    edited->Assign(cam);
    edited->Name = "New name";
    edited->Homepage = "www.example.org";
    TfoViewer::CatalogueChanged(settings.Root);
    EXPECT_EQ(v->findChild<TStatusBar*>()->Panel(3)->text(), "New name");
    EXPECT_TRUE(v->findChild<QAction*>("actSite")->isEnabled());
    // Its images are archived under the new name from now on.
    settings.SaveImages = true;
    settings.SavePath = dir.path();
    settings.SubDirectory = false;
    TViewerImage image;
    image.Body = jpegOf(32, 24);
    ASSERT_TRUE(DecodeViewerImage(image, {}));
    v->ImageArrived(image);
    EXPECT_TRUE(PumpUntil([&] { return QFile::exists(dir.filePath("New name 00001.jpg")); }));
}

TEST_F(ViewerTest, DialogsOpenAboveViewersOnTop)
{
    auto shownOnTop = [](QWidget* dialog) {
        dialog->show();
        const bool onTop = dialog->windowHandle()->flags() & Qt::WindowStaysOnTopHint;
        delete dialog;
        return onTop;
    };
    TfoViewer* v = open();
    EXPECT_FALSE(shownOnTop(new QMessageBox(QMessageBox::Warning, "t", "plain")))
        << "no viewer on top: dialogs stay ordinary windows";
    v->findChild<QAction*>("Alwaysontop1")->trigger();
    ASSERT_TRUE(v->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(shownOnTop(new QMessageBox(QMessageBox::Warning, "t", "above")));
    EXPECT_TRUE(shownOnTop(new QInputDialog()));
    // A viewer on top that is hidden covers nothing.
    v->actHideExecute();
    EXPECT_FALSE(shownOnTop(new QMessageBox(QMessageBox::Warning, "t", "plain")));
}
