#include "platform/Signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeEnds[2] = {-1, -1};

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const char byte = char(signalNumber);
    // Async-signal-safe: one write; a full pipe already holds a pending request.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}
} // namespace

TSignalWatcher::TSignalWatcher(QObject* parent) : QObject(parent)
{
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    Notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TSignalWatcher::ReadPipe);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TSignalWatcher::~TSignalWatcher()
{
    // Back to the default: a signal after the watcher is gone ends the process as usual.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void TSignalWatcher::ReadPipe()
{
    char bytes[16];
    ssize_t n;
    int last = 0;
    while ((n = ::read(pipeEnds[0], bytes, sizeof bytes)) > 0)
        last = bytes[n - 1];
    if (last != 0)
        emit Terminate(last);
}
