#include "core/net/ClassHttp.h"

#include "core/net/ClassHttpClient.h"
#include "core/catalog/ProxySettings.h"

int CountdownAfterSecond(int countdown, int interval)
{
    if (interval < countdown)
        countdown = interval;
    return countdown - 1;
}

std::shared_ptr<THttpThread> THttpThread::Create(std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<THttpThread>(new THttpThread(std::move(dispatcher)));
}

THttpThread::THttpThread(std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerThread(std::move(dispatcher))
{
}

THttpThread::~THttpThread() = default;

void THttpThread::ClearEvents()
{
    OnImage = nullptr;
    OnProgress = nullptr;
    OnTick = nullptr;
}

bool THttpThread::Raise(TEventKind kind)
{
    // The slot is looked up on the UI thread, just before it would run: a slot cleared meanwhile
    // is found empty.
    return Synchronize([this, kind] {
        const TEvent& slot = kind == TEventKind::Image      ? OnImage
                             : kind == TEventKind::Progress ? OnProgress
                                                            : OnTick;
        if (slot) {
            const TEvent call = slot; // the slot may clear itself while it runs
            call(*this);
        }
    });
}

void THttpThread::Fetch(THttpClient& http, bool& haveResponse)
{
    bool abandoned = false;
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ReceiveBuffer = 1024;
        http.Referer = Referer;
        // The unchanged-image test: the same Last-Modified and Content-Length as the last image
        // read in full means the same image; its body is not read.
        http.OnHeaders = [this, &haveResponse, &abandoned](const THttpHeaders& headers) {
            abandoned = haveResponse && SameHttpDate(headers.LastModified, LastModified) &&
                        headers.ContentLength == ContentLength;
            return abandoned;
        };
        http.OnProgress = [this](qint64 received) {
            Received = received;
            if (!Raise(TEventKind::Progress))
                Terminate();
        };
    } catch (...) {
        // The fetch is made with whatever was configured.
    }

    Received = 0;
    QByteArray body;
    const THttpResult result = http.Get(Url, body);
    if (result.Ok()) {
        Body = std::move(body);
        ContentLength = result.Headers.ContentLength;
        LastModified = result.Headers.LastModified;
        haveResponse = true;
        Received = ContentLength;
        // Delivered even when termination was requested during the download.
        Raise(TEventKind::Progress);
        Raise(TEventKind::Image);
        return;
    }
    http.Close();
    if (abandoned) {
        // An unchanged webcam is not polled faster than about once a second.
        Sleep(Tick);
    }
}

void THttpThread::Execute()
{
    if (Interval.load() < 0)
        Interval.store(10);
    auto http = std::make_unique<THttpClient>();
    bool haveResponse = false;
    while (!Terminated()) {
        Fetch(*http, haveResponse);

        if (Interval.load() > 20 && http->Connected())
            http->Close();

        Countdown = Interval.load();
        while (Countdown > 0 && !Terminated()) {
            Raise(TEventKind::Tick);
            Sleep(Tick);
            Countdown = CountdownAfterSecond(Countdown, Interval.load());
        }
        if (!Terminated())
            Raise(TEventKind::Tick);
    }
    // The connection goes now, on this thread, not whenever the last reference is dropped.
    http.reset();
}
