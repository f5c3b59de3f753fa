#include "platform/wake/WakeUp.h"

#include <QObject>
#include <QThread>
#include <atomic>

// Over Qt alone: a signal posts one queued call to a context object on the owner's thread, and no
// second one while the first waits. Only the wake travels through Qt's event queue, never what it
// wakes the owner for, and at most one such call waits at a time.
struct TWakeUp::TState
{
    QObject* Object = nullptr; // owner's thread
    std::function<void()> OnWake;
    std::atomic<bool> Pending{false};
    std::atomic<bool> Alive{true};
};

TWakeUp::TWakeUp(std::function<void()> onWake) : State(std::make_shared<TState>())
{
    State->OnWake = std::move(onWake);
    State->Object = new QObject;
}

TWakeUp::~TWakeUp()
{
    State->Alive.store(false);
    // The queued call still waiting is dropped with its context.
    if (State->Object->thread() == QThread::currentThread())
        delete State->Object;
    else
        State->Object->deleteLater();
}

bool TWakeUp::IsValid() const
{
    return true;
}

void TWakeUp::Signal()
{
    if (State->Pending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        State->Object,
        [state = State] {
            state->Pending.store(false);
            if (state->Alive.load())
                state->OnWake();
        },
        Qt::QueuedConnection);
}

void TWakeUp::Disable()
{
    State->Alive.store(false);
}

QObject* TWakeUp::Context() const
{
    return State->Object;
}
