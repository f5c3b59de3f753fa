#include "core/net/ThumbnailFeed.h"

#include "core/Log.h"
#include "core/catalog/ProxySettings.h"
#include "core/image/JpegCodec.h"
#include "core/image/Thumbnail.h"
#include "core/io/EventSlot.h"
#include "core/net/HttpClient.h"

#include <algorithm>
#include <exception>
#include <mutex>

// What the engine's thread, the pool and the UI thread share of one thumbnail feed.
struct TMireSink : TFeedSink
{
    TMireThread::TImageEvent OnImage;    // UI thread only, like the two below
    TMireThread::TNextEvent OnNext;
    TMireThread::TDoneEvent OnDone;

    std::mutex Mutex;
    QSize Box_; // under Mutex
    // Results not handed over yet: the feed fetches no further ahead of its decoding.
    std::atomic<int> InFlight{0};
    int MaxInFlight = 4;
    std::atomic<int> LanesLeft{0}; // without Repeat: lanes that have not asked every webcam

    QSize PictureBox()
    {
        std::lock_guard lock(Mutex);
        return Box_;
    }
};

namespace {
// Results a lane of a thumbnail feed may have in decoding before it waits.
constexpr int MaxAhead = 4;
} // namespace

class TMireTask final : public TFetchTask
{
public:
    // The lane-th of lanes: the webcams at positions lane, lane + lanes, ...
    TMireTask(std::shared_ptr<TMireSink> sink, const TMireThread& feed, int lane, int lanes,
              TWorkPool* pool)
        : Sink(std::move(sink)), Queue(std::make_shared<TSerialQueue>(pool)), Repeat(feed.Repeat),
          KeepData(feed.KeepData), CellQuality(feed.CellQuality),
          ImageTimeoutMs(feed.ImageTimeoutMs), ReadTimeoutMs(feed.ReadTimeoutMs),
          ConnectTimeoutMs(feed.ConnectTimeoutMs), Tick(feed.Tick)
    {
        Backoff.RetryAfter = 60 * Tick;
        for (size_t i = size_t(lane); i < feed.Cams.size(); i += size_t(lanes))
            Cams.push_back({feed.Cams[i], int(i), {}});
    }

    std::atomic<bool> TerminateFlag{false};

    bool Prepare(THttpClient& http, QString& url) override;
    void Finished(THttpClient& http, const THttpResult& result, QByteArray body) override;
    TClock::time_point Due() override;

private:
    struct TEntry
    {
        TMireCam Cam;
        int Index = -1;                 // in the owner's list
        TClock::time_point NextAllowed; // no ask before
    };

    const std::shared_ptr<TMireSink> Sink;
    // The lane's decodes, in the order of its attempts: one webcam's results keep their order.
    const std::shared_ptr<TSerialQueue> Queue;
    const bool Repeat;
    const bool KeepData;
    const int CellQuality;
    const int ImageTimeoutMs;
    const int ReadTimeoutMs;
    const int ConnectTimeoutMs;
    const std::chrono::milliseconds Tick;

    // Engine thread only.
    std::vector<TEntry> Cams;
    TMireBackoff Backoff;
    int Position = -1; // the last webcam chosen
    qint64 Round = 0;
    TClock::time_point RoundStart;
    int Chosen = -1;  // chosen by Due, asked for by the next Prepare
    int Current = -1; // the attempt under way
    QByteArray StreamPart;
    bool DonePosted = false;
};

TFetchTask::TClock::time_point TMireTask::Due()
{
    if (TerminateFlag.load()) {
        Cancel();
        return Never;
    }
    if (Chosen >= 0)
        return TClock::time_point(); // at once
    const int count = int(Cams.size());
    if (!Repeat && Position + 1 >= count) {
        // Every webcam was asked: done once the last result is handed over.
        if (Sink->InFlight.load() == 0 && !DonePosted) {
            DonePosted = true;
            Cancel();
            if (Sink->LanesLeft.fetch_sub(1) != 1)
                return Never; // another lane still asks
            Sink->Box->Post([sink = Sink] { RunSlot(sink->OnDone); });
        }
        return Never;
    }
    if (Sink->InFlight.load() >= Sink->MaxInFlight)
        return Never; // asked again when a result is handed over
    if (!Repeat) {
        Chosen = Position + 1;
        Position = Chosen;
        return TClock::time_point();
    }
    // The next webcam in list order that may be asked now: not sitting out its failures, and
    // its interval over since it was last asked. Passing the end of the list begins a round, at
    // least a Tick after the previous round began.
    const auto now = TClock::now();
    TClock::time_point earliest = now + Tick;
    for (int k = 1; k <= count; ++k) {
        const int i = (Position + k) % count;
        const bool wraps = Position < 0 || i <= Position;
        if (wraps && Round > 0 && now < RoundStart + Tick) {
            earliest = std::min(earliest, RoundStart + Tick);
            break;
        }
        const qint64 round = wraps ? Round + 1 : Round;
        TEntry& entry = Cams[size_t(i)];
        if (entry.NextAllowed > now) {
            earliest = std::min(earliest, entry.NextAllowed);
            continue;
        }
        if (Backoff.Skip(entry.Cam.Url, round, now))
            continue;
        Chosen = i;
        Position = i;
        if (round != Round)
            RoundStart = now;
        Round = round;
        return TClock::time_point();
    }
    return earliest;
}

bool TMireTask::Prepare(THttpClient& http, QString& url)
{
    if (Chosen < 0)
        return false;
    Current = Chosen;
    Chosen = -1;
    TEntry& entry = Cams[size_t(Current)];
    const TMireCam& cam = entry.Cam;
    entry.NextAllowed = TClock::now() + std::max(1, cam.Interval) * Tick;
    StreamPart.clear();
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ImageTimeoutMs = ImageTimeoutMs;
        http.ConnectTimeoutMs = ConnectTimeoutMs;
        http.ReceiveBuffer = 64 * 1024;
        http.Referer = cam.Referer;
        http.ForbidReuse = false;
        // With a date from an earlier image the request is conditional; a 304 is that image.
        http.Validators = THttpValidators();
        http.Validators.LastModified = FormatHttpDate(cam.LastModified);
        // The unchanged-image test against what is known of the webcam.
        http.OnHeaders = [lastModified = cam.LastModified,
                          contentLength = cam.ContentLength](const THttpHeaders& headers) {
            return SameImage(headers, lastModified, contentLength);
        };
        // A stream's first part is the webcam's image; the stream is closed after it.
        http.OnPart = [this](const QByteArray& part) {
            StreamPart = part;
            return false;
        };
        http.OnProgress = nullptr;
        // The owner that stops the feed has no use for the image under way.
        http.Cancelled = [this] { return TerminateFlag.load() || Cancelled(); };
    } catch (const std::exception& e) {
        qCInfo(lcHttp) << "thumbnail set-up failed, fetching anyway:" << e.what();
    } catch (...) {
        qCInfo(lcHttp) << "thumbnail set-up failed, fetching anyway";
    }
    url = cam.Url;
    const TMireNext next{entry.Index, cam.Url};
    Sink->Box->PostLatest(1, [sink = Sink, next] { RunSlot(sink->OnNext, next); });
    return true;
}

void TMireTask::Finished(THttpClient& http, const THttpResult& result, QByteArray body)
{
    http.OnHeaders = nullptr;
    http.OnPart = nullptr;
    http.Cancelled = nullptr;
    if (Current < 0)
        return;
    if (TerminateFlag.load()) {
        Current = -1; // stopped: nobody takes this result
        return;
    }
    TMireCam& cam = Cams[size_t(Current)].Cam;
    QByteArray data = result.Parts >= 0 ? std::move(StreamPart) : std::move(body);
    StreamPart = QByteArray();
    if (result.Ok()) {
        cam.ContentLength = result.Headers.ContentLength;
        cam.LastModified = result.Headers.LastModified;
    } else {
        data.clear();
    }
    const auto now = TClock::now();
    // An unchanged image is no failure: the webcam answered.
    if (result.Ok() || result.Outcome == THttpOutcome::Abandoned ||
        result.Outcome == THttpOutcome::NotModified) {
        Backoff.Succeeded(cam.Url);
    } else {
        const int rounds = Backoff.Failed(cam.Url, Round, now);
        qCInfo(lcHttp).noquote() << "thumbnail of" << cam.Url << "failed:" << result.Cause()
                                 << "- sits out up to" << rounds << "round(s)";
    }
    TMireImage image;
    image.Index = Cams[size_t(Current)].Index;
    image.Url = cam.Url;
    image.LastModified = cam.LastModified;
    image.ContentLength = cam.ContentLength;
    image.Received = !data.isEmpty();
    image.Failure = FailureOf(result, QDateTime::currentDateTime());
    Current = -1;
    Sink->InFlight.fetch_add(1);
    Queue->Post([sink = Sink, image = std::move(image), data = std::move(data),
                       keepData = KeepData, quality = CellQuality]() mutable {
        const QSize box = sink->PictureBox();
        if (image.Received && !box.isEmpty()) {
            QString error;
            if (!Thumbnail::Make(data, box, image.Picture, &image.SourceSize, &error)) {
                qCInfo(lcImage).noquote()
                    << "thumbnail of" << image.Url << "not readable:" << error;
                // Says whether it is no JPEG image or one too large to show, while the bytes
                // are here.
                if (image.Failure.Kind == TFailureKind::None)
                    image.Failure = UndecodedFailure(data, QDateTime::currentDateTime());
            }
            if (image.Failure.Kind == TFailureKind::None && image.Picture.IsEmpty()) {
                image.Failure.Kind = TFailureKind::NotJpeg; // a move it tells of stays
                image.Failure.At = QDateTime::currentDateTime();
            }
        }
        if (quality > 0 && !image.Picture.IsEmpty()) {
            QString error;
            image.Cell = JpegCodec::Encode(image.Picture, quality, &error);
            if (image.Cell.isEmpty())
                qCInfo(lcImage).noquote() << "cell of" << image.Url << "not encoded:" << error;
        }
        if (keepData)
            image.Data = std::move(data);
        auto value = std::make_shared<TMireImage>(std::move(image));
        sink->Box->Post([sink, value] { RunSlot(sink->OnImage, *value); });
        sink->InFlight.fetch_sub(1);
        sink->RescheduleAll();
    });
}

std::shared_ptr<TMireThread> TMireThread::Create(std::shared_ptr<TFetchEngine> engine)
{
    return std::shared_ptr<TMireThread>(new TMireThread(std::move(engine)));
}

TMireThread::TMireThread(std::shared_ptr<TFetchEngine> engine)
    : Engine(engine ? std::move(engine) : TFetchEngine::Main()), Sink(std::make_shared<TMireSink>())
{
}

TMireThread::~TMireThread()
{
    Terminate();
}

void TMireThread::SetPictureBox(QSize box)
{
    std::lock_guard lock(Sink->Mutex);
    Sink->Box_ = box;
}

void TMireThread::ClearEvents()
{
    OnImage = nullptr;
    OnNext = nullptr;
    OnDone = nullptr;
    Sink->OnImage = nullptr;
    Sink->OnNext = nullptr;
    Sink->OnDone = nullptr;
    Sink->Leave();
}

bool TMireThread::Start()
{
    if (!Sink->CanBegin())
        return false;
    Sink->OnImage = OnImage;
    Sink->OnNext = OnNext;
    Sink->OnDone = OnDone;
    const int lanes = std::clamp(Lanes, 1, std::max(1, int(Cams.size())));
    Sink->MaxInFlight = MaxAhead * lanes;
    Sink->LanesLeft.store(lanes);
    for (int lane = 0; lane < lanes; ++lane)
        Tasks.push_back(std::make_shared<TMireTask>(Sink, *this, lane, lanes, Engine->Pool()));
    return Sink->Begin(*Engine,
                       std::vector<std::shared_ptr<TFetchTask>>(Tasks.begin(), Tasks.end()));
}

void TMireThread::Terminate()
{
    for (const auto& task : Tasks) {
        task->TerminateFlag.store(true);
        task->Reschedule();
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

TCamInfo::TCamInfo(const TCamWebcam& entry) : Referer(entry.Referer), Url(entry.Url)
{
    Webcam.Assign(entry);
}
