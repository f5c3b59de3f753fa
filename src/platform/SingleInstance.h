#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// The user's runtime folder ($XDG_RUNTIME_DIR), where the instance lock and the hand-over socket
// live. Tests isolate instances by giving each its own.
QString RuntimeFolder();

// One running instance per user: a lock file CAMVIEWER.lock in the runtime folder. The lock of a
// process that has died is taken over.
class TInstanceLock
{
public:
    explicit TInstanceLock(const QString& runtimeFolder = RuntimeFolder());
    // True when this process holds the lock (it is the first instance).
    bool TryLock();
    // After a failed TryLock: true when a live process holds the lock; false when the lock file
    // cannot be used at all (no runtime folder, no rights), in which case the program runs on
    // its own rather than not at all.
    bool HeldByAnother() const;

private:
    QString LockPath;
    QLockFile Lock;
};

// The running instance's end of the hand-over: a local socket at <runtime folder>/TfoCamMain,
// reachable by this user only. Each message carries one path (empty for a start without a file);
// the handler runs on the UI thread and only then is the one-byte reply sent, so the sender waits
// until the file is imported.
class THandOverServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const QString& path)>;

    explicit THandOverServer(QObject* parent = nullptr);
    ~THandOverServer() override;

    // Starts listening (a socket file left by a dead instance is removed first).
    bool Listen(const QString& runtimeFolder = RuntimeFolder());
    void SetHandler(Handler handler);
    // A connection that has not sent its whole message within this time is dropped.
    void SetReadTimeout(int ms) { ReadTimeoutMs = ms; }

    static QString ServerPath(const QString& runtimeFolder);

private:
    void AcceptConnections();
    void ReadFrom(QLocalSocket* socket);

    QLocalServer* Server;
    Handler OnPath;
    int ReadTimeoutMs = 10000;
};

// A second start's side: hands path to the running instance and waits, at most timeoutMs in
// all, until it has handled it. While the first instance is still starting (lock held, socket not
// yet there) the connection is retried. True when the running instance confirmed.
bool SendHandOver(const QString& path, const QString& runtimeFolder = RuntimeFolder(),
                  int timeoutMs = 30000);
