#include "core/net/ClassMire.h"

#include "core/net/ClassHttpClient.h"
#include "core/catalog/ProxySettings.h"

std::shared_ptr<TMireThread> TMireThread::Create(std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<TMireThread>(new TMireThread(std::move(dispatcher)));
}

TMireThread::TMireThread(std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerThread(std::move(dispatcher))
{
}

TMireThread::~TMireThread() = default;

void TMireThread::ClearEvents()
{
    OnImage = nullptr;
    OnNext = nullptr;
}

bool TMireThread::Raise(bool next)
{
    return Synchronize([this, next] {
        const TEvent& slot = next ? OnNext : OnImage;
        if (slot) {
            const TEvent call = slot;
            call(*this);
        }
    });
}

void TMireThread::Attempt()
{
    // A fresh client for every attempt: no connection is kept between webcams.
    THttpClient http;
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ReceiveBuffer = 1024;
        http.Referer = Referer;
        // The unchanged-image test against the values the owner gave; no pause afterwards.
        http.OnHeaders = [this](const THttpHeaders& headers) {
            return SameHttpDate(headers.LastModified, LastModified) &&
                   headers.ContentLength == ContentLength;
        };
    } catch (...) {
    }
    const THttpResult result = http.Get(Url, Data);
    if (result.Ok()) {
        ContentLength = result.Headers.ContentLength;
        LastModified = result.Headers.LastModified;
    } else {
        Data.clear();
    }
}

void TMireThread::Execute()
{
    while (!Terminated()) {
        try {
            Data.clear();
            Attempt();
            Raise(false);
        } catch (...) {
            Data.clear();
        }
        Raise(true);
    }
}

TCamInfo::TCamInfo(const TCamWebcam& entry)
    : Referer(entry.Referer)
    , Url(entry.Url)
{
    Webcam.Assign(entry);
}
