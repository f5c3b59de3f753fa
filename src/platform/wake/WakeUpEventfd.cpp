#include "platform/wake/WakeUp.h"

#include "core/Log.h"

#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

// An eventfd that the owner's event loop watches through a socket notifier. Its counter folds any
// number of signals into one readable state, and reading it before onWake runs clears that state.
struct TWakeUp::TState
{
    int Fd = -1;
    QSocketNotifier* Notifier = nullptr; // owner's thread; closes Fd when it goes
    std::function<void()> OnWake;
    std::atomic<bool> Alive{true};
};

TWakeUp::TWakeUp(std::function<void()> onWake) : State(std::make_shared<TState>())
{
    State->OnWake = std::move(onWake);
    State->Fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (State->Fd < 0) {
        qCWarning(lcWorker) << "no eventfd to wake the UI thread:" << strerror(errno);
        return;
    }
    State->Notifier = new QSocketNotifier(State->Fd, QSocketNotifier::Read);
    const int fd = State->Fd;
    QObject::connect(State->Notifier, &QObject::destroyed, [fd] { ::close(fd); });
    // The state is held by the notifier's connection: a wake-up that went on another thread
    // leaves it to the notifier, which goes on the owner's thread.
    QObject::connect(State->Notifier, &QSocketNotifier::activated, State->Notifier,
                     [state = State] {
                         std::uint64_t count = 0;
                         while (::read(state->Fd, &count, sizeof count) < 0 && errno == EINTR) {
                         }
                         if (state->Alive.load())
                             state->OnWake();
                     });
}

TWakeUp::~TWakeUp()
{
    State->Alive.store(false);
    if (!State->Notifier)
        return;
    if (State->Notifier->thread() == QThread::currentThread())
        delete State->Notifier;
    else
        State->Notifier->deleteLater();
}

bool TWakeUp::IsValid() const
{
    return State->Notifier != nullptr;
}

void TWakeUp::Signal()
{
    if (State->Fd < 0)
        return;
    const std::uint64_t one = 1;
    while (::write(State->Fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TWakeUp::Disable()
{
    State->Alive.store(false);
    if (State->Notifier)
        State->Notifier->setEnabled(false);
}

QObject* TWakeUp::Context() const
{
    return State->Notifier;
}
