#include "core/net/ViewerFeed.h"

#include "core/Log.h"
#include "core/catalog/ProxySettings.h"
#include "core/image/Archive.h"
#include "core/image/JpegCodec.h"
#include "core/io/EventSlot.h"
#include "core/net/HttpClient.h"
#include "core/net/Multipart.h"
#include "core/rules/ViewerGeometry.h"

#include <QHash>
#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>

int CountdownAfterSecond(int countdown, int interval)
{
    if (interval < countdown)
        countdown = interval;
    return countdown - 1;
}

bool DecodeViewerImage(TViewerImage& image, QSize controlSize, QString* error)
{
    // A picture handed in keeps its buffer for the decode (a stream's frames of one size
    // allocate nothing); it is emptied when nothing decodes.
    image.Scale = 1;
    image.SourceSize = QSize();
    int width = 0;
    int height = 0;
    if (!JpegCodec::ReadSize(image.Body, width, height)) {
        image.Picture = TPicture();
        if (error)
            *error = QStringLiteral("Not a JPEG image");
        return false;
    }
    const int scale = ViewerGeometry::DecodeScale({width, height}, controlSize);
    if (!JpegCodec::Decode(image.Body, image.Picture, scale, error)) {
        image.Picture = TPicture();
        return false;
    }
    image.Scale = scale;
    image.SourceSize = QSize(width, height);
    return true;
}

int CountdownAt(std::chrono::steady_clock::time_point due,
                std::chrono::steady_clock::time_point now, std::chrono::milliseconds tick)
{
    if (due <= now || tick.count() <= 0)
        return 0;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(due - now);
    const auto step = std::chrono::duration_cast<std::chrono::microseconds>(tick);
    return int((left.count() + step.count() - 1) / step.count());
}

// What the engine's thread, the pool and the UI thread share of one viewer's feed: the event
// slots (UI thread only), where values go, the decode size, and the queue that keeps the
// webcam's decodes and archive writes in order.
struct TViewerSink : TFeedSink
{
    std::shared_ptr<TSerialQueue> Queue;
    THttpThread::TImageEvent OnImage;
    THttpThread::TProgressEvent OnProgress;
    THttpThread::TTickEvent OnTick;
    std::chrono::milliseconds PartGap{16};

    std::mutex Mutex;
    QSize Control;            // under Mutex
    TViewerImage PendingPart; // under Mutex: the latest stream part not decoded yet
    bool PartQueued = false;  // under Mutex: a decode of PendingPart is queued
    TPicture Spare;           // under Mutex: a picture the viewer is done with, for its buffer
    // An image read in full waits for its decoding and for the UI thread to take it: the next
    // fetch waits with it, so a webcam never runs ahead of the pool or the UI, and its events
    // keep their order.
    std::atomic<bool> StillDecoding{false};

    enum TKey
    {
        KeyProgress = 1,
        KeyTick,
        KeyPart,
    };

    QSize ControlSize()
    {
        std::lock_guard lock(Mutex);
        return Control;
    }

    // Decodes image on the calling pool thread and posts it; a stream part under PostLatest.
    static void DecodeAndPost(const std::shared_ptr<TViewerSink>& sink, TViewerImage image,
                              bool part)
    {
        {
            std::lock_guard lock(sink->Mutex);
            image.Picture = std::move(sink->Spare);
            sink->Spare = TPicture();
        }
        QString error;
        image.BodyHash = qHash(image.Body);
        if (!image.Body.isEmpty() && !DecodeViewerImage(image, sink->ControlSize(), &error))
            qCInfo(lcImage).noquote() << "image of" << image.Url << "not readable:" << error;
        auto value = std::make_shared<TViewerImage>(std::move(image));
        auto call = [sink, value, part] {
            RunSlot(sink->OnImage, *value);
            // The image is taken: the feed's next fetch may come. A UI thread that is behind
            // holds the feeds back instead of a backlog of pictures.
            if (!part) {
                sink->StillDecoding.store(false);
                sink->RescheduleAll();
            }
        };
        if (part)
            sink->Box->PostLatest(KeyPart, std::move(call), sink->PartGap);
        else
            sink->Box->Post(std::move(call));
    }
};

// The engine's side of a viewer's feed: its schedule and the state of its requests.
class TViewerTask final : public TFetchTask
{
public:
    using TClock = std::chrono::steady_clock;

    TViewerTask(std::shared_ptr<TViewerSink> sink, const THttpThread& feed, int interval)
        : Sink(std::move(sink)), Url(feed.Url), Referer(feed.Referer),
          ReadTimeoutMs(feed.ReadTimeoutMs), ConnectTimeoutMs(feed.ConnectTimeoutMs),
          ImageTimeoutMs(feed.ImageTimeoutMs), Tick(feed.Tick), ScheduledInterval(interval)
    {
        IntervalValue.store(interval);
    }

    std::atomic<int> IntervalValue;
    std::atomic<bool> TerminateFlag{false};

    bool Prepare(THttpClient& http, QString& url) override;
    void Finished(THttpClient& http, const THttpResult& result, QByteArray body) override;
    TClock::time_point Due() override;

private:
    void PostProgress(bool force);
    void PostTick(bool afterImage = false);
    void DeliverImage(QByteArray body);
    void DeliverPart(const QByteArray& part);

    const std::shared_ptr<TViewerSink> Sink;
    const QString Url;
    const QString Referer;
    const int ReadTimeoutMs;
    const int ConnectTimeoutMs;
    const int ImageTimeoutMs;
    const std::chrono::milliseconds Tick;

    // Engine thread only.
    bool First = true;          // no fetch yet: due at once
    TClock::time_point NextDue; // of the wait under way
    TClock::time_point Floor;   // no fetch before this (a Tick after a failure)
    int ScheduledInterval;      // the interval NextDue was computed with
    bool HaveResponse = false;  // a response was read in full: the unchanged test applies
    THttpValidators Validators; // of that response, for the conditional requests
    QDateTime LastModified;     // of the last response read in full; invalid when it had none
    qint64 ContentLength = 0;   // of the last response read in full; -1 when it had none
    qint64 Received = 0;
    qint64 ExpectedLength = 0;
    std::optional<TClock::time_point> Reported; // the last progress report of this fetch
    TFetchFailure LastFailure;
    bool Streaming = false;
    bool StreamAnswer = false; // the answer under way is a stream
    int FramesPerSecond = 0;
    std::deque<TClock::time_point> PartTimes; // of the last second
};

void TViewerTask::PostProgress(bool force)
{
    const auto now = TClock::now();
    if (!force && Reported && now - *Reported < THttpThread::ProgressStep)
        return;
    Reported = now;
    const TViewerProgress value{Received, ExpectedLength};
    Sink->Box->PostLatest(TViewerSink::KeyProgress,
                          [sink = Sink, value] { RunSlot(sink->OnProgress, value); });
}

void TViewerTask::PostTick(bool afterImage)
{
    TViewerTick value;
    value.NextFetch = NextDue;
    value.Countdown = CountdownAt(NextDue, TClock::now(), Tick);
    value.LastFailure = LastFailure;
    auto post = [sink = Sink, value] {
        sink->Box->PostLatest(TViewerSink::KeyTick, [sink, value] {
            // A stream's last part comes before the wait that follows it.
            sink->Box->RunLatest(TViewerSink::KeyPart);
            RunSlot(sink->OnTick, value);
        });
    };
    // The wait that follows an image is told after the image.
    if (afterImage)
        Sink->Queue->Post(std::move(post));
    else
        post();
}

void TViewerTask::DeliverImage(QByteArray body)
{
    TViewerImage image;
    image.Url = Url;
    image.Body = std::move(body);
    image.LastModified = LastModified;
    image.ContentLength = ContentLength;
    Sink->StillDecoding.store(true);
    Sink->Queue->Post([sink = Sink, image = std::move(image)]() mutable {
        TViewerSink::DecodeAndPost(sink, std::move(image), false);
    });
}

void TViewerTask::DeliverPart(const QByteArray& part)
{
    TViewerImage image;
    image.Url = Url;
    image.Body = part;
    image.ContentLength = part.size();
    image.Streaming = true;
    image.FramesPerSecond = FramesPerSecond;
    {
        // Only the latest part waits for the pool: a stream faster than the decoding loses the
        // parts nobody would have seen.
        std::lock_guard lock(Sink->Mutex);
        Sink->PendingPart = std::move(image);
        if (Sink->PartQueued)
            return;
        Sink->PartQueued = true;
    }
    Sink->Queue->Post([sink = Sink] {
        TViewerImage latest;
        {
            std::lock_guard lock(sink->Mutex);
            latest = std::move(sink->PendingPart);
            sink->PendingPart = TViewerImage();
            sink->PartQueued = false;
        }
        TViewerSink::DecodeAndPost(sink, std::move(latest), true);
    });
}

bool TViewerTask::Prepare(THttpClient& http, QString& url)
{
    if (TerminateFlag.load())
        return false;
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ConnectTimeoutMs = ConnectTimeoutMs;
        http.ImageTimeoutMs = ImageTimeoutMs;
        // Large reads: progress is reported by time, not by piece.
        http.ReceiveBuffer = 64 * 1024;
        http.Referer = Referer;
        // Until an image was read a 304 would mean nothing: the first request is plain.
        http.Validators = HaveResponse ? Validators : THttpValidators();
        // Above 20 seconds between fetches the connection is not kept.
        http.ForbidReuse = IntervalValue.load() > 20;
        // The unchanged-image test: the same Last-Modified and Content-Length as the last image
        // read in full means the same image; its body is not read.
        http.OnHeaders = [this](const THttpHeaders& headers) {
            StreamAnswer = !StreamDelimiter(headers.ContentType).isEmpty();
            if (HaveResponse && SameImage(headers, LastModified, ContentLength))
                return true;
            ExpectedLength = headers.ContentLength >= 0 ? headers.ContentLength : ContentLength;
            return false;
        };
        http.OnPart = [this](const QByteArray& part) {
            const auto now = TClock::now();
            PartTimes.push_back(now);
            while (now - PartTimes.front() >= std::chrono::seconds(1))
                PartTimes.pop_front();
            FramesPerSecond = int(PartTimes.size());
            Streaming = true;
            ContentLength = part.size();
            LastModified = QDateTime();
            Received = ExpectedLength = part.size();
            DeliverPart(part);
            return !TerminateFlag.load() && !Cancelled();
        };
        // A stream ends with termination; a single image only when nobody waits for it any more
        // (a refresh lets the image under way arrive).
        http.Cancelled = [this] { return Cancelled() || (TerminateFlag.load() && StreamAnswer); };
        http.OnProgress = [this](qint64 received) {
            Received = received;
            PostProgress(false);
        };
    } catch (const std::exception& e) {
        qCInfo(lcHttp) << "fetch set-up failed, fetching anyway:" << e.what();
    } catch (...) {
        qCInfo(lcHttp) << "fetch set-up failed, fetching anyway";
    }
    Received = 0;
    Reported.reset();
    StreamAnswer = false;
    url = Url;
    return true;
}

void TViewerTask::Finished(THttpClient& http, const THttpResult& result, QByteArray body)
{
    http.OnHeaders = nullptr;
    http.OnProgress = nullptr;
    http.OnPart = nullptr;
    http.Cancelled = nullptr;
    bool delivered = false;
    if (result.Parts >= 0) {
        // A stream: its parts were delivered as they came. Over now, one way or another.
        Streaming = false;
        PartTimes.clear();
        FramesPerSecond = 0;
        if (result.Ok()) {
            qCInfo(lcHttp).noquote()
                << "stream of" << Url << "ended after" << result.Parts << "part(s)";
            delivered = result.Parts > 0;
        }
    } else if (result.Ok()) {
        ContentLength = result.Headers.ContentLength;
        LastModified = result.Headers.LastModified;
        HaveResponse = true;
        Validators = THttpValidators::Of(result.Headers);
        // The last report fills the bar, whether or not the response announced its length.
        Received = ContentLength >= 0 ? ContentLength : body.size();
        ExpectedLength = Received;
        PostProgress(true);
        DeliverImage(std::move(body));
        delivered = true;
    }
    if (!delivered && result.Parts < 0) {
        if (result.Outcome == THttpOutcome::NotModified) {
            // The image shown is current; the connection stays for the next poll.
            qCInfo(lcHttp).noquote() << Url << "not modified";
        } else if (result.Outcome != THttpOutcome::Ok) {
            qCInfo(lcHttp).noquote() << "fetch of" << Url << "failed:" << result.Cause();
            const TFetchFailure failure = FailureOf(result, QDateTime::currentDateTime());
            if (failure.Kind != TFailureKind::None)
                LastFailure = failure;
        }
    } else if (!delivered) {
        qCInfo(lcHttp).noquote() << "stream of" << Url << "failed:" << result.Cause();
        const TFetchFailure failure = FailureOf(result, QDateTime::currentDateTime());
        if (failure.Kind != TFailureKind::None)
            LastFailure = failure;
    }
    NoteMove(LastFailure, result); // a webcam that moved for good says so, image or not
    // The wait: Interval ticks from now; after a fetch that brought nothing, at least a Tick, even
    // at an interval of 0 or below: a failing webcam is not hammered.
    const auto now = TClock::now();
    const int interval = IntervalValue.load();
    ScheduledInterval = interval;
    Floor = delivered ? now : now + Tick;
    NextDue = std::max(Floor, now + std::max(0, interval) * Tick);
    First = false;
    if (TerminateFlag.load()) {
        Cancel();
        return;
    }
    // Told after any image or part still on its way.
    PostTick(true);
}

TFetchTask::TClock::time_point TViewerTask::Due()
{
    if (TerminateFlag.load()) {
        Cancel();
        return Never;
    }
    if (First)
        return TClock::time_point();
    if (Sink->StillDecoding.load())
        return Never; // asked again once the image is handed over
    const int interval = IntervalValue.load();
    if (interval != ScheduledInterval) {
        // A lowered interval shortens the wait at once; a raised one never lengthens it.
        ScheduledInterval = interval;
        const auto shortened = std::max(Floor, TClock::now() + std::max(0, interval) * Tick);
        if (shortened < NextDue) {
            NextDue = shortened;
            PostTick();
        }
    }
    return NextDue;
}

std::shared_ptr<THttpThread> THttpThread::Create(std::shared_ptr<TFetchEngine> engine)
{
    return std::shared_ptr<THttpThread>(new THttpThread(std::move(engine)));
}

THttpThread::THttpThread(std::shared_ptr<TFetchEngine> engine)
    : Engine(engine ? std::move(engine) : TFetchEngine::Main()),
      Sink(std::make_shared<TViewerSink>())
{
    Sink->Queue = std::make_shared<TSerialQueue>(Engine->Pool());
}

THttpThread::~THttpThread()
{
    // A download under way still arrives, unless the events were cleared.
    Terminate();
}

void THttpThread::SetInterval(int seconds)
{
    if (!Task) {
        StartInterval = seconds;
        return;
    }
    if (Task->IntervalValue.exchange(seconds) != seconds)
        Task->Reschedule();
}

int THttpThread::Interval() const
{
    return Task ? Task->IntervalValue.load() : StartInterval;
}

void THttpThread::SetControlSize(QSize size)
{
    std::lock_guard lock(Sink->Mutex);
    Sink->Control = size;
}

QSize THttpThread::ControlSize() const
{
    return Sink->ControlSize();
}

void THttpThread::Recycle(TPicture&& picture)
{
    std::lock_guard lock(Sink->Mutex);
    Sink->Spare = std::move(picture);
}

void THttpThread::ClearEvents()
{
    OnImage = nullptr;
    OnProgress = nullptr;
    OnTick = nullptr;
    Sink->OnImage = nullptr;
    Sink->OnProgress = nullptr;
    Sink->OnTick = nullptr;
    // Nobody takes its results any more: the transfer under way ends at once.
    Sink->Leave();
}

bool THttpThread::Start()
{
    if (!Sink->CanBegin())
        return false;
    Sink->OnImage = OnImage;
    Sink->OnProgress = OnProgress;
    Sink->OnTick = OnTick;
    Sink->PartGap = PartGap;
    Task = std::make_shared<TViewerTask>(Sink, *this, StartInterval < 0 ? 10 : StartInterval);
    return Sink->Begin(*Engine, {Task});
}

void THttpThread::Terminate()
{
    if (!Task)
        return;
    Task->TerminateFlag.store(true);
    Task->Reschedule();
}

struct TArchiveState
{
    std::shared_ptr<TPostBox> Box = std::make_shared<TPostBox>();
    std::shared_ptr<TSerialQueue> Queue;
    std::function<void(int, const QString&)> OnArchived; // UI thread only
    int LastId = -1;                                     // in Queue's jobs only
};

TArchiveQueue::TArchiveQueue(std::shared_ptr<TFetchEngine> engine)
    : State(std::make_shared<TArchiveState>())
{
    State->Queue = std::make_shared<TSerialQueue>((engine ? engine : TFetchEngine::Main())->Pool());
}

TArchiveQueue::~TArchiveQueue()
{
    State->Box->Detach();
}

void TArchiveQueue::Write(const QByteArray& body, const TArchiveOrder& order, const QString& url)
{
    State->OnArchived = OnArchived;
    State->Queue->Post([state = State, body, order, url] {
        int lastId = std::max(order.LastId, state->LastId);
        QString error;
        const QString path = Archive::ArchiveImage(body, order.Name, lastId, order.SavePath,
                                                   order.SubDirectory, &error);
        state->LastId = lastId;
        if (path.isEmpty())
            qCInfo(lcArchive).noquote() << "image of" << url << "not archived:" << error;
        else
            error.clear();
        state->Box->Post([state, lastId, error] { RunSlot(state->OnArchived, lastId, error); });
    });
}

std::shared_ptr<TViewerDecoder> TViewerDecoder::Create(QByteArray body, QSize controlSize,
                                                       std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<TViewerDecoder>(
        new TViewerDecoder(std::move(body), controlSize, std::move(dispatcher)));
}

TViewerDecoder::TViewerDecoder(QByteArray body, QSize controlSize,
                               std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerThread(std::move(dispatcher)), Body(std::move(body)), Control(controlSize)
{
}

void TViewerDecoder::Execute()
{
    if (Terminated())
        return;
    TViewerImage image;
    image.Body = std::move(Body);
    QString error;
    if (!DecodeViewerImage(image, Control, &error)) {
        qCInfo(lcImage) << "kept image not decoded again:" << error;
        return;
    }
    Deliver(&TViewerDecoder::OnImage, image);
}

bool SaveViewerImage(const QByteArray& body, const QString& path, QString* error)
{
    TBitmap bitmap;
    return JpegCodec::Decode(body, bitmap, 1, error) &&
           JpegCodec::SaveToFile(bitmap, path, 90, error);
}
