#include "core/net/ClassMire.h"

#include "core/Log.h"
#include "core/catalog/ProxySettings.h"
#include "core/image/Thumbnail.h"
#include "core/net/ClassHttpClient.h"

#include <algorithm>
#include <exception>

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

TMireImage TMireThread::MakeImage()
{
    TMireImage image;
    image.Index = Index;
    image.Url = Url;
    image.LastModified = LastModified;
    image.ContentLength = ContentLength;
    image.Received = !Data.isEmpty();
    if (!image.Received)
        return image;
    if (!PictureBox.isEmpty()) {
        QString error;
        if (!Thumbnail::Make(Data, PictureBox, image.Picture, &image.SourceSize, &error)) {
            qCInfo(lcImage).noquote() << "thumbnail of" << Url << "not readable:" << error;
            // Says whether it is no JPEG image or one too large to show, while the bytes are here.
            image.Failure = UndecodedFailure(Data, QDateTime::currentDateTime());
        }
    }
    if (KeepData)
        image.Data = std::move(Data);
    Data = QByteArray();
    return image;
}

THttpResult TMireThread::Attempt()
{
    // A fresh client for every attempt: no connection is kept between webcams.
    THttpClient http;
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ImageTimeoutMs = ImageTimeoutMs;
        // The owner that stops the thread has no use for the image under way.
        http.Cancelled = [this] { return Terminated(); };
        http.ConnectTimeoutMs = ConnectTimeoutMs;
        http.ReceiveBuffer = 1024;
        http.Referer = Referer;
        // With a date from an earlier image the request is conditional; a 304 is that image.
        http.Validators.LastModified = FormatHttpDate(LastModified);
        // The unchanged-image test against the values the owner gave; no pause afterwards.
        http.OnHeaders = [this](const THttpHeaders& headers) {
            return SameImage(headers, LastModified, ContentLength);
        };
        // A stream's first part is the webcam's image; the stream is closed after it.
        http.OnPart = [this](const QByteArray& part) {
            Data = part;
            return false;
        };
    } catch (const std::exception& e) {
        qCInfo(lcHttp) << "thumbnail set-up failed, fetching anyway:" << e.what();
    } catch (...) {
        qCInfo(lcHttp) << "thumbnail set-up failed, fetching anyway";
    }
    THttpResult result = http.Get(Url, Data);
    if (result.Ok()) {
        ContentLength = result.Headers.ContentLength;
        LastModified = result.Headers.LastModified;
    } else {
        Data.clear();
    }
    return result;
}

void TMireThread::Execute()
{
    using Clock = std::chrono::steady_clock;
    Backoff.RetryAfter = 60 * Tick;
    qint64 round = 0;
    Clock::time_point roundStart;
    int previousIndex = 0;
    while (!Terminated()) {
        try {
            if (round == 0 || Index <= previousIndex) {
                const auto now = Clock::now();
                const auto due = roundStart + Tick;
                if (round > 0 && now < due &&
                    !Sleep(std::chrono::ceil<std::chrono::milliseconds>(due - now)))
                    continue; // termination requested
                roundStart = Clock::now();
                ++round;
            }
            previousIndex = Index;
            Data.clear();
            if (!Backoff.Skip(Url, round, Clock::now())) {
                const THttpResult result = Attempt();
                // An unchanged image is no failure: the webcam answered.
                if (result.Ok() || result.Outcome == THttpOutcome::Abandoned ||
                    result.Outcome == THttpOutcome::NotModified) {
                    Backoff.Succeeded(Url);
                } else {
                    const int rounds = Backoff.Failed(Url, round, Clock::now());
                    qCInfo(lcHttp).noquote() << "thumbnail of" << Url << "failed:" << result.Cause()
                                             << "- sits out up to" << rounds << "round(s)";
                }
                const bool boxed = !PictureBox.isEmpty();
                TMireImage image = MakeImage();
                const TFetchFailure fetched = FailureOf(result, QDateTime::currentDateTime());
                const bool undecoded = image.Received && boxed && image.Picture.IsEmpty();
                if (fetched.Kind != TFailureKind::None || !undecoded)
                    image.Failure = fetched;
                Deliver(&TMireThread::OnImage, image);
            }
        } catch (const std::exception& e) {
            qCWarning(lcWorker) << "thumbnail round failed:" << e.what();
            Data.clear();
        } catch (...) {
            qCWarning(lcWorker) << "thumbnail round failed";
            Data.clear();
        }
        Deliver(&TMireThread::OnNext, *this);
    }
}

bool TMireBackoff::Skip(const QString& url, qint64 round, TClock::time_point now) const
{
    const auto found = Entries.constFind(url);
    if (found == Entries.cend())
        return false;
    const TEntry& entry = found.value();
    const qint64 sitOut = qint64(1) << std::min(entry.Failures - 1, 30);
    return round - entry.Round <= sitOut && now - entry.At < RetryAfter;
}

int TMireBackoff::Failed(const QString& url, qint64 round, TClock::time_point now)
{
    TEntry& entry = Entries[url];
    entry.Failures = std::min(entry.Failures + 1, 31);
    entry.Round = round;
    entry.At = now;
    return 1 << (entry.Failures - 1);
}

void TMireBackoff::Succeeded(const QString& url)
{
    Entries.remove(url);
}

std::shared_ptr<TMireScaler> TMireScaler::Create(std::vector<TJob> jobs, QSize box,
                                                 std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<TMireScaler>(
        new TMireScaler(std::move(jobs), box, std::move(dispatcher)));
}

TMireScaler::TMireScaler(std::vector<TJob> jobs, QSize box, std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerThread(std::move(dispatcher)), Jobs(std::move(jobs)), Box(box)
{
}

void TMireScaler::Execute()
{
    for (TJob& job : Jobs) {
        if (Terminated())
            break;
        TMireImage image;
        image.Index = job.Index;
        image.Received = true;
        QString error;
        if (!Thumbnail::Make(job.Data, Box, image.Picture, &image.SourceSize, &error)) {
            qCInfo(lcImage).noquote() << "cell" << job.Index << "not rescaled:" << error;
            continue;
        }
        job.Data = QByteArray();
        if (!Deliver(&TMireScaler::OnImage, image))
            break;
    }
}

TCamInfo::TCamInfo(const TCamWebcam& entry) : Referer(entry.Referer), Url(entry.Url)
{
    Webcam.Assign(entry);
}
