#pragma once

#include "core/net/ClassWorker.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class THttpClient;

// Countdown of the wait between fetches after one second has passed: a lowered Interval shortens
// the wait at once, a raised one never lengthens it.
int CountdownAfterSecond(int countdown, int interval);

// The worker behind one viewer: fetches Url again and again, Interval seconds apart, keeping the
// connection for intervals up to 20 s, and hands its events to the UI thread, waiting until they
// have run.
//
// Use (UI thread): auto t = THttpThread::Create(); set Url, Referer, Interval and the event slots;
// t->Start(). Write Interval at any time. To stop: ClearEvents() (when the receiver goes away),
// Terminate(), and drop the pointer; the thread finishes the fetch under way and frees itself.
//
// The event slots run on the UI thread with the thread as argument and are only ever touched
// there; an empty slot is skipped, an exception from a slot is swallowed (and logged). Inside a
// slot the receiver reads the fields below: Received and ExpectedLength (progress), Body,
// LastModified and ContentLength (image), Countdown (tick). The worker waits while a slot runs, so
// these reads are safe there and only there.
//
// A failed fetch (no connection, time-out, a status other than 2xx, a redirect, an unchanged image
// whose body was not read) is logged under lcHttp and reported to nobody; the next attempt comes
// after the interval, but never sooner than one Tick after the failure, whatever the interval.
class THttpThread final : public TWorkerThread
{
public:
    using TEvent = std::function<void(THttpThread&)>;

    static std::shared_ptr<THttpThread> Create(std::shared_ptr<TDispatcher> dispatcher = {});
    ~THttpThread() override;

    // Set before Start.
    QString Url;
    QString Referer;
    int ReadTimeoutMs = 10000;
    int ConnectTimeoutMs = 10000;

    // Seconds between fetches; -1 (any negative value) at the start means 10. Any thread, any time.
    std::atomic<int> Interval{-1};

    // UI thread only.
    TEvent OnImage;    // a response was read in full: Body, LastModified, ContentLength
    TEvent OnProgress; // after each piece of body, and once more when it is complete
    TEvent OnTick;     // each second of the wait, and once when it ends: Countdown
    void ClearEvents();

    // Read inside the slots.
    QDateTime LastModified; // of the last response read in full; invalid when it had none
    qint64 Received = 0;    // body bytes of the current fetch
    // The length the current fetch is heading for: its response's Content-Length, or, when it
    // has none, ContentLength. Once the body is complete, both it and Received are its size.
    qint64 ExpectedLength = 0;
    qint64 ContentLength = 0; // of the last response read in full; -1 when it had none
    int Countdown = 0;        // seconds left before the next fetch
    QByteArray Body;          // body of the last response read in full

protected:
    void Execute() override;

private:
    explicit THttpThread(std::shared_ptr<TDispatcher> dispatcher);

    enum class TEventKind
    {
        Image,
        Progress,
        Tick
    };
    bool Raise(TEventKind kind);
    // One GET of Url; true when an image was delivered.
    bool Fetch(THttpClient& http);

    bool HaveResponse = false; // a response was read in full: the unchanged test applies
};
