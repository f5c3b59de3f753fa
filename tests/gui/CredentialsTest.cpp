// A password written in a webcam's address is for that webcam only: every other place the program
// shows or writes the address holds it masked, or leaves it out, while Options.xml keeps it.
#include "GuiTestUtil.h"
#include "TestHttpServer.h"
#include "ThreadTestUtil.h"
#include "app/FormMain.h"
#include "app/StateDump.h"
#include "core/Log.h"
#include "core/catalog/EditTree.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/io/Worker.h"
#include "editor/FormEditCams.h"
#include "mosaic/FormChoose.h"
#include "mosaic/ThumbnailTick.h"
#include "viewer/FormViewer.h"

#include <QFile>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QMutex>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

QMutex LogMutex;
QStringList Logged;

void CaptureLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    const QMutexLocker lock(&LogMutex);
    Logged << message;
}

QString LoggedText()
{
    const QMutexLocker lock(&LogMutex);
    return Logged.join(QLatin1Char('\n'));
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(Credentials, APasswordInAnAddressShowsNowhereButInTheSettings)
{
    // The program's handler masks, then hands each message on to the capture.
    const QtMessageHandler previous = qInstallMessageHandler(CaptureLog);
    InstallLogMasking();
    QLoggingCategory::setFilterRules(QStringLiteral("pictavo.*=true"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("PICTAVO_STATE_DUMP", dir.filePath(QStringLiteral("state.txt")).toLocal8Bit());
    RestoreMessageDefaults();
    SetThumbnailTickMilliseconds(10);
    TTestHttpServer server([](const TTestRequest&) {
        TTestResponse response;
        response.Status = 401;
        response.Reason = "Unauthorized";
        response.Headers = {{"WWW-Authenticate", "Basic realm=\"cam\""}};
        return response;
    });
    {
        QFile::remove(TCamViewer::DefaultOptionsPath());
        TStartup startup;
        startup.RegisterTypes = false;
        std::unique_ptr<TfoCamMain> main(CreateForm<TfoCamMain>(startup));
        ASSERT_NE(CamViewer, nullptr);
        // The address, as users often do, is the webcam's name too.
        const QString address = QString(server.Url()).replace("http://", "http://viewer:S3cret@");
        TCamCategory* category = CamViewer->Root.Categories.Add();
        category->Name = QStringLiteral("Cams");
        TCamWebcam* webcam = category->Webcams.Add();
        webcam->Name = webcam->Url = address;
        webcam->Refresh = 3600;
        main->RebuildTrayMenu();
        StartStateDump(main.get());

        // The viewer's hint: the 401 says how to give the user name and password.
        main->OpenViewer(webcam, false);
        TfoViewer* viewer = TfoViewer::Viewers().value(0);
        ASSERT_NE(viewer, nullptr);
        ASSERT_TRUE(PumpUntil([viewer] { return !viewer->FailureHint().isEmpty(); }));
        const QString hint = viewer->FailureHint();
        EXPECT_TRUE(hint.contains("401 Unauthorized: the webcam wants a user name and a password"))
            << hint.toStdString();

        // The chooser's hover text, with the thumbnail's failure.
        main->WMCopyData(QString()); // a second start without a file: the chooser
        auto* chooser = TFormList::Of<TfoChoose>().value(0);
        ASSERT_NE(chooser, nullptr);
        auto* tree = chooser->findChild<QTreeWidget*>("CamTree");
        tree->setCurrentItem(tree->findItems("Cams", Qt::MatchExactly).value(0));
        auto* list = chooser->findChild<QListWidget*>("CamList");
        ASSERT_EQ(list->count(), 1);
        ASSERT_TRUE(
            PumpUntil([&] { return chooser->CamListInfoTip(list->item(0)).contains("401"); }));
        const QString hover = chooser->CamListInfoTip(list->item(0));

        // The Windows menu.
        main->actWindowExecute();
        QStringList windows;
        for (const QAction* item : main->findChild<QMenu*>("Windows1")->actions())
            windows << item->text() + " " + item->toolTip();

        // The state dump.
        const QString dumpPath = dir.filePath(QStringLiteral("state.txt"));
        ASSERT_TRUE(PumpUntil([&] { return ReadAll(dumpPath).contains("401"); }));
        const QString dump = QString::fromUtf8(ReadAll(dumpPath));

        // An export of the webcam and of its category, and what the editor tells of it.
        main->actEditExecute();
        TfoEditCams* editor = TFormList::Of<TfoEditCams>().value(0);
        ASSERT_NE(editor, nullptr);
        QByteArray exported;
        for (const QModelIndex& node :
             {editor->Tree()->FindWebcam(address), editor->Tree()->index(0, 0)}) {
            const QString path = dir.filePath(exported.isEmpty() ? "cam.cam" : "cams.cal");
            editor->Select(node);
            editor->SaveDialog1Accepted(path);
            ASSERT_TRUE(PumpUntil([editor] { return !editor->Exporting(); }));
            exported += ReadAll(path);
            auto* notice = editor->findChild<QMessageBox*>(QStringLiteral("ExportNoticeBox"));
            ASSERT_NE(notice, nullptr);
            EXPECT_TRUE(notice->text().contains(path) && notice->text().contains(" 1 "))
                << notice->text().toStdString();
            delete notice;
        }
        // Exported addresses lose the user name too; the names keep it, the password masked.
        EXPECT_EQ(exported.count(server.Url().toUtf8()), 2) << exported.toStdString();

        // Each place shows what the user reads there (the address, masked, where it shows one):
        // the password is not among it.
        const QString masked = QStringLiteral("viewer:***@127.0.0.1");
        const QString logged = LoggedText();
        for (const auto& [place, text, shown] :
             {std::tuple{"hint", hint, QStringLiteral("401 Unauthorized")},
              std::tuple{"hover", hover, masked},
              std::tuple{"Windows menu", windows.join('\n'), masked},
              std::tuple{"state dump", dump, masked}, std::tuple{"log", logged, masked},
              std::tuple{"export", QString::fromUtf8(exported), masked}}) {
            SCOPED_TRACE(place);
            EXPECT_FALSE(text.contains("S3cret")) << text.toStdString();
            EXPECT_TRUE(text.contains(shown)) << text.toStdString();
        }

        // Options.xml keeps the address as it was written.
        ASSERT_TRUE(CamViewer->SaveOptions());
        EXPECT_TRUE(ReadAll(CamViewer->OptionsPath).contains(address.toUtf8()));
    }
    drainDeletes();
    EXPECT_TRUE(PumpUntil([] { return RunningWorkers() == 0; }, 15000));
    qunsetenv("PICTAVO_STATE_DUMP");
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    QFile::remove(TCamViewer::DefaultOptionsPath());
}
