#include "core/net/ClassHttp.h"

#include "core/Log.h"
#include "core/catalog/ProxySettings.h"
#include "core/net/ClassHttpClient.h"

#include <chrono>
#include <exception>
#include <optional>

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

bool THttpThread::Fetch(THttpClient& http)
{
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ConnectTimeoutMs = ConnectTimeoutMs;
        http.ReceiveBuffer = 1024;
        http.Referer = Referer;
        // The unchanged-image test: the same Last-Modified and Content-Length as the last image
        // read in full means the same image; its body is not read.
        http.OnHeaders = [this](const THttpHeaders& headers) {
            if (HaveResponse && SameImage(headers, LastModified, ContentLength))
                return true;
            ExpectedLength = headers.ContentLength >= 0 ? headers.ContentLength : ContentLength;
            return false;
        };
        http.OnProgress = [this](qint64 received) {
            Received = received;
            if (!Raise(TEventKind::Progress))
                Terminate();
        };
    } catch (const std::exception& e) {
        qCInfo(lcHttp) << "fetch set-up failed, fetching anyway:" << e.what();
    } catch (...) {
        qCInfo(lcHttp) << "fetch set-up failed, fetching anyway";
    }

    Received = 0;
    QByteArray body;
    const THttpResult result = http.Get(Url, body);
    // The hooks reach into this fetch only.
    http.OnHeaders = nullptr;
    http.OnProgress = nullptr;
    if (result.Ok()) {
        Body = std::move(body);
        ContentLength = result.Headers.ContentLength;
        LastModified = result.Headers.LastModified;
        HaveResponse = true;
        // The last report fills the bar, whether or not the response announced its length.
        Received = ContentLength >= 0 ? ContentLength : Body.size();
        ExpectedLength = Received;
        // Delivered even when termination was requested during the download.
        Raise(TEventKind::Progress);
        Raise(TEventKind::Image);
        return true;
    }
    http.Close();
    qCInfo(lcHttp).noquote() << "fetch of" << Url << "failed:" << result.Cause();
    return false;
}

void THttpThread::Execute()
{
    using Clock = std::chrono::steady_clock;
    if (Interval.load() < 0)
        Interval.store(10);
    auto http = std::make_unique<THttpClient>();
    // After a failed fetch the next one waits at least a Tick, even at an interval of 0 or below:
    // a failing webcam is not hammered, nor the UI thread with a tick per attempt.
    std::optional<Clock::time_point> retryAt;
    while (!Terminated()) {
        if (retryAt) {
            const auto now = Clock::now();
            if (now < *retryAt &&
                !Sleep(std::chrono::ceil<std::chrono::milliseconds>(*retryAt - now)))
                continue; // termination requested
            retryAt.reset();
        }
        if (!Fetch(*http))
            retryAt = Clock::now() + Tick;

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
