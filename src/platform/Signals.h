#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (log-out, Ctrl+C) into a Qt signal on the UI thread. The signal handler
// only writes one byte into a pipe; everything else runs from the event loop.
class TSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TSignalWatcher(QObject* parent = nullptr);
    ~TSignalWatcher() override;

signals:
    void Terminate(int signalNumber);

private:
    void ReadPipe();

    QSocketNotifier* Notifier = nullptr;
};
