#include "core/Log.h"
#include "core/rules/HandOver.h"
#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <exception>
#include <unistd.h>

QString RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        // No usable runtime folder: a private one of this user in the temporary folder.
        folder =
            QDir::tempPath() + QStringLiteral("/pictavo-runtime-") + QString::number(::getuid());
        if (QDir().mkpath(folder))
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    }
    return folder;
}

TInstanceLock::TInstanceLock(const QString& runtimeFolder)
    : LockPath(runtimeFolder + QStringLiteral("/CAMVIEWER.lock")), Lock(LockPath)
{
    // No age limit: a lock is stale only when the process that wrote it is gone.
    Lock.setStaleLockTime(0);
}

bool TInstanceLock::TryLock()
{
    if (Lock.isLocked())
        return true;
    // tryLock takes over the lock of a process that has died by itself. Removing a "stale" file
    // here as well would be wrong: a file that another start has just created and not yet
    // written looks stale, and both starts would end up holding the lock.
    if (Lock.tryLock(0))
        return true;
    qCInfo(lcInstance) << "instance lock" << LockPath << "not taken, error" << int(Lock.error());
    return false;
}

bool TInstanceLock::HeldByAnother() const
{
    return Lock.error() == QLockFile::LockFailedError;
}

THandOverServer::THandOverServer(QObject* parent) : QObject(parent), Server(new QLocalServer(this))
{
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(Server, &QLocalServer::newConnection, this, &THandOverServer::AcceptConnections);
}

THandOverServer::~THandOverServer() = default;

QString THandOverServer::ServerPath(const QString& runtimeFolder)
{
    return runtimeFolder + QStringLiteral("/TfoCamMain");
}

bool THandOverServer::Listen(const QString& runtimeFolder)
{
    const QString path = ServerPath(runtimeFolder);
    // Only the lock holder listens, so a socket file found here was left by a dead instance.
    QLocalServer::removeServer(path);
    return Server->listen(path);
}

void THandOverServer::SetHandler(Handler handler)
{
    OnPath = std::move(handler);
}

void THandOverServer::AcceptConnections()
{
    while (QLocalSocket* socket = Server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadFrom(socket); });
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, &QLocalSocket::abort);
        timer->start(ReadTimeoutMs);
        ReadFrom(socket);
    }
}

void THandOverServer::ReadFrom(QLocalSocket* socket)
{
    if (socket->property("pvDone").toBool())
        return;
    QByteArray buffer = socket->property("pvBuffer").toByteArray();
    buffer += socket->readAll();
    const THandOverRead read = DecodeHandOver(buffer);
    switch (read.Status) {
    case THandOverRead::NeedMore:
        socket->setProperty("pvBuffer", buffer);
        return;
    case THandOverRead::Refused:
        socket->setProperty("pvDone", true);
        socket->abort();
        return;
    case THandOverRead::Complete:
        break;
    }
    socket->setProperty("pvDone", true);
    socket->setProperty("pvBuffer", QVariant());
    // An empty path is a start without a file: the handler shows the running instance. A message
    // of nothing (cbData 0) asks for nothing.
    if (read.Size > 0 && OnPath) {
        const QString path = QFile::decodeName(read.Path);
        try {
            OnPath(path);
        } catch (const std::exception& e) {
            // The sender is still answered; the running instance goes on.
            qCInfo(lcInstance) << "handed-over file" << path << "failed:" << e.what();
        } catch (...) {
            qCInfo(lcInstance) << "handed-over file" << path << "failed with an unknown error";
        }
    }
    socket->write("\x01", 1);
    socket->flush();
    socket->disconnectFromServer();
}

bool SendHandOver(const QString& path, const QString& runtimeFolder, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(THandOverServer::ServerPath(runtimeFolder));
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        socket.abort();
        // The running instance may still be starting: try again for a short while.
        if (deadline.hasExpired() || deadline.remainingTime() < 50 ||
            timeoutMs - deadline.remainingTime() > 5000)
            return false;
        QThread::msleep(50);
    }
    socket.write(EncodeHandOver(QFile::encodeName(path)));
    if (!socket.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime()))))
        return false;
    while (socket.bytesAvailable() == 0) {
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState)
            return socket.bytesAvailable() > 0;
        socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}
