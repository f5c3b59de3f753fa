#include "platform/Desktop.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {
// Runs the UI thread's event loop until done() holds or the time is up.
template <typename F> bool spinUntil(F done, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

QString privateFolder(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(path);
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}
} // namespace

TEST(InstanceLock, OnePerRuntimeFolderAndStaleLocksAreTakenOver)
{
    QTemporaryDir dir;
    const QString a = privateFolder(dir, "a"), b = privateFolder(dir, "b");
    TInstanceLock first(a);
    ASSERT_TRUE(first.TryLock());
    TInstanceLock second(a);
    EXPECT_FALSE(second.TryLock());
    EXPECT_TRUE(second.HeldByAnother());
    TInstanceLock other(b);
    EXPECT_TRUE(other.TryLock()) << "another runtime folder is another user session";

    // A lock left by a process that is gone: find a pid that is not running.
    const QString c = privateFolder(dir, "c");
    qint64 deadPid = 4000000;
    while (::kill(pid_t(deadPid), 0) == 0 || errno != ESRCH)
        ++deadPid;
    QFile stale(c + "/CAMVIEWER.lock");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(deadPid) + "\npictavo\n" + QSysInfo::machineHostName().toUtf8() +
                "\n");
    stale.close();
    TInstanceLock heir(c);
    EXPECT_TRUE(heir.TryLock());

    // A lock file that another start has created and not yet written belongs to that start: a
    // second start must not take it as stale, or both would run.
    const QString d = privateFolder(dir, "d");
    QFile fresh(d + "/CAMVIEWER.lock");
    ASSERT_TRUE(fresh.open(QIODevice::WriteOnly));
    fresh.close();
    TInstanceLock late(d);
    EXPECT_FALSE(late.TryLock());
    EXPECT_TRUE(late.HeldByAnother());

    // A runtime folder that cannot hold the lock is not mistaken for a running instance.
    TInstanceLock nowhere(dir.filePath("missing/folder"));
    EXPECT_FALSE(nowhere.TryLock());
    EXPECT_FALSE(nowhere.HeldByAnother());
}

TEST(HandOver, SenderWaitsUntilTheRunningInstanceHasHandledThePath)
{
    QTemporaryDir dir;
    const QString first = privateFolder(dir, "first"), second = privateFolder(dir, "second");
    THandOverServer server;
    ASSERT_TRUE(server.Listen(first));
    THandOverServer otherServer;
    ASSERT_TRUE(otherServer.Listen(second));

    QStringList received, receivedByOther;
    std::atomic<bool> handlerFinished{false};
    server.SetHandler([&](const QString& path) {
        received << path;
        // The import takes a while; the sender must still be waiting when it ends.
        QThread::msleep(100);
        handlerFinished = true;
    });
    otherServer.SetHandler([&](const QString& path) { receivedByOther << path; });

    const QString path = QString::fromUtf8("/tmp/Webcams \xc3\xa9t\xc3\xa9.CAL");
    std::atomic<int> result{-1};
    std::atomic<bool> finishedBeforeHandler{false};
    std::thread sender([&] {
        const bool ok = SendHandOver(path, first, 5000);
        finishedBeforeHandler = !handlerFinished;
        result = ok ? 1 : 0;
    });
    spinUntil([&] { return result >= 0; });
    sender.join();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(finishedBeforeHandler) << "the reply comes only after the import";
    EXPECT_EQ(received, QStringList{path});
    EXPECT_TRUE(receivedByOther.isEmpty()) << "instances are isolated by their runtime folders";
}

TEST(HandOver, NoRunningInstanceAndBadMessages)
{
    QTemporaryDir dir;
    const QString folder = privateFolder(dir, "rt");
    // Nobody listens: the sender gives up in bounded time.
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(SendHandOver("/tmp/x.cal", folder, 300));
    EXPECT_LT(clock.elapsed(), 2000);

    THandOverServer server;
    server.SetReadTimeout(200);
    ASSERT_TRUE(server.Listen(folder));
    int calls = 0;
    server.SetHandler([&](const QString&) { ++calls; });

    struct Row
    {
        const char* name;
        QByteArray bytes;
        bool answered;
    };
    const Row rows[] = {
        {"cbData 0 is answered and ignored", QByteArray("\0\0\0\0", 4), true},
        {"length beyond the limit is dropped", QByteArray("\xff\xff\xff\x7f", 4), false},
        {"message cut short times out", QByteArray("\x09\0\0\0/tmp", 8), false},
    };
    for (const Row& row : rows) {
        std::atomic<int> answer{-1};
        std::thread client([&] {
            QLocalSocket socket;
            socket.connectToServer(THandOverServer::ServerPath(folder));
            if (!socket.waitForConnected(2000)) {
                answer = 2;
                return;
            }
            socket.write(row.bytes);
            socket.waitForBytesWritten(2000);
            QDeadlineTimer deadline(3000);
            while (socket.bytesAvailable() == 0 && socket.state() == QLocalSocket::ConnectedState &&
                   !deadline.hasExpired())
                socket.waitForReadyRead(100);
            answer = socket.bytesAvailable() > 0 ? 1 : 0;
        });
        spinUntil([&] { return answer >= 0; });
        client.join();
        EXPECT_EQ(answer, row.answered ? 1 : 0) << row.name;
    }
    EXPECT_EQ(calls, 0);
}

TEST(FileTypes, WritesMimePackageAndDesktopEntry)
{
    QTemporaryDir dir;
    const QString data = dir.filePath("data");
    const QString program = "/opt/my \"apps\"/$pictavo 100%";
    EXPECT_EQ(RegisterFileTypes(program, data, false), QString());

    QFile mime(data + "/mime/packages/pictavo.xml");
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    const QByteArray xml = mime.readAll();
    EXPECT_TRUE(xml.contains("type=\"application/x-pictavo-cam\""));
    EXPECT_TRUE(xml.contains("<comment>Cam Info</comment>"));
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.cal\"/>"));
    EXPECT_TRUE(xml.contains("<comment>Cam List</comment>"));

    QFile entry(data + "/applications/pictavo.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("MimeType=application/x-pictavo-cam;application/x-pictavo-cal;"));
    EXPECT_TRUE(text.contains(R"(Exec="/opt/my \\"apps\\"/\\$pictavo 100%%" %f)"))
        << text.toStdString();

    // A folder that cannot be written is reported.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(RegisterFileTypes(program, dir.filePath("blocked"), false).isEmpty());
}

TEST(Shell, OpensOnlyWebAndMailAddresses)
{
    for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "", "ftp://x/y",
                                "/usr/bin/xterm", "smb://host/share"})
        EXPECT_FALSE(OpenUrl(refused)) << refused;
}
