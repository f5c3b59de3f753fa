#include "core/net/ClassHttp.h"

#include "core/Log.h"
#include "core/catalog/ProxySettings.h"
#include "core/image/ClassArchive.h"
#include "core/image/JpegCodec.h"
#include "core/net/ClassHttpClient.h"
#include "core/net/Multipart.h"
#include "core/rules/ViewerGeometry.h"

#include <QHash>
#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>

int CountdownAfterSecond(int countdown, int interval)
{
    if (interval < countdown)
        countdown = interval;
    return countdown - 1;
}

bool DecodeViewerImage(TViewerImage& image, QSize controlSize, QString* error)
{
    image.Picture = TPicture();
    image.Scale = 1;
    image.SourceSize = QSize();
    int width = 0;
    int height = 0;
    if (!JpegCodec::ReadSize(image.Body, width, height)) {
        if (error)
            *error = QStringLiteral("Not a JPEG image");
        return false;
    }
    const int scale = ViewerGeometry::DecodeScale({width, height}, controlSize);
    if (!JpegCodec::Decode(image.Body, image.Picture, scale, error))
        return false;
    image.Scale = scale;
    image.SourceSize = QSize(width, height);
    return true;
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

void THttpThread::SetControlSize(QSize size)
{
    std::lock_guard lock(SizeMutex);
    FControlSize = size;
}

QSize THttpThread::ControlSize() const
{
    std::lock_guard lock(SizeMutex);
    return FControlSize;
}

void THttpThread::ClearEvents()
{
    Orphaned.store(true);
    OnImage = nullptr;
    OnProgress = nullptr;
    OnTick = nullptr;
}

bool THttpThread::Raise(TEventKind kind)
{
    // The slot is looked up on the UI thread, just before it would run: a slot cleared meanwhile
    // is found empty.
    return Synchronize([this, kind] {
        const TEvent& slot = kind == TEventKind::Progress ? OnProgress : OnTick;
        if (slot) {
            const TEvent call = slot; // the slot may clear itself while it runs
            call(*this);
        }
    });
}

TViewerImage THttpThread::MakeImage(QByteArray body)
{
    TViewerImage image;
    image.Url = Url;
    image.Body = std::move(body);
    image.BodyHash = qHash(image.Body);
    image.LastModified = LastModified;
    image.ContentLength = ContentLength;
    image.Streaming = Streaming;
    image.FramesPerSecond = FramesPerSecond;
    image.ArchivedLastId = ArchivedLastId;
    QString error;
    if (!image.Body.isEmpty() && !DecodeViewerImage(image, ControlSize(), &error))
        qCInfo(lcImage).noquote() << "image of" << Url << "not readable:" << error;
    return image;
}

void THttpThread::DeliverImage(QByteArray body)
{
    TViewerImage image = MakeImage(std::move(body));
    if (Deliver(&THttpThread::OnImage, image))
        WriteArchive(image.Body, image.Archive);
}

void THttpThread::WriteArchive(const QByteArray& body, const TArchiveOrder& order)
{
    if (!order.Write)
        return;
    int lastId = std::max(order.LastId, ArchivedLastId);
    QString error;
    const QString path =
        Archive::ArchiveImage(body, order.Name, lastId, order.SavePath, order.SubDirectory, &error);
    ArchivedLastId = lastId;
    ArchiveFailure = path.isEmpty() ? error : QString();
    if (path.isEmpty())
        qCInfo(lcArchive).noquote() << "image of" << Url << "not archived:" << error;
}

void THttpThread::PostPart(QByteArray part)
{
    if (LatestPart.Put(MakeImage(std::move(part)))) {
        auto self = std::static_pointer_cast<THttpThread>(shared_from_this());
        Dispatcher->Post([self] { self->TakePart(true); });
    }
    WriteArchives();
}

void THttpThread::TakePart(bool again)
{
    std::optional<TViewerImage> image = LatestPart.Take();
    if (!image)
        return;
    if (again) {
        auto self = std::static_pointer_cast<THttpThread>(shared_from_this());
        Dispatcher->Post([self] { self->TakePart(true); }, PartGap);
    }
    if (!OnImage)
        return;
    const TImageEvent call = OnImage; // the slot may clear itself while it runs
    call(*image);
    if (image->Archive.Write) {
        std::lock_guard lock(ArchiveMutex);
        ArchiveOrders.emplace_back(std::move(image->Body), image->Archive);
    }
}

void THttpThread::WriteArchives()
{
    std::vector<std::pair<QByteArray, TArchiveOrder>> orders;
    {
        std::lock_guard lock(ArchiveMutex);
        orders.swap(ArchiveOrders);
    }
    for (const auto& [body, order] : orders)
        WriteArchive(body, order);
}

bool THttpThread::Fetch(THttpClient& http)
{
    bool streamAnswer = false;
    try {
        http.Proxy = CurrentProxySettings();
        http.ReadTimeoutMs = ReadTimeoutMs;
        http.ImageTimeoutMs = ImageTimeoutMs;
        http.ConnectTimeoutMs = ConnectTimeoutMs;
        http.ReceiveBuffer = 1024;
        http.Referer = Referer;
        // Until an image was read a 304 would mean nothing: the first request is plain.
        http.Validators = HaveResponse ? Validators : THttpValidators();
        // The unchanged-image test: the same Last-Modified and Content-Length as the last image
        // read in full means the same image; its body is not read.
        http.OnHeaders = [this, &streamAnswer](const THttpHeaders& headers) {
            streamAnswer = !StreamDelimiter(headers.ContentType).isEmpty();
            if (HaveResponse && SameImage(headers, LastModified, ContentLength))
                return true;
            ExpectedLength = headers.ContentLength >= 0 ? headers.ContentLength : ContentLength;
            return false;
        };
        http.OnPart = [this](const QByteArray& part) {
            const auto now = std::chrono::steady_clock::now();
            PartTimes.push_back(now);
            while (now - PartTimes.front() >= std::chrono::seconds(1))
                PartTimes.pop_front();
            FramesPerSecond = int(PartTimes.size());
            Streaming = true;
            ContentLength = part.size();
            LastModified = QDateTime();
            Received = ExpectedLength = part.size();
            PostPart(part);
            return !Terminated();
        };
        // A stream ends with termination; a single image only when nobody waits for it any more
        // (a refresh lets the image under way arrive).
        http.Cancelled = [this, &streamAnswer] {
            return Terminated() && (streamAnswer || Orphaned.load());
        };
        http.OnProgress = [this, reported = std::optional<std::chrono::steady_clock::time_point>()](
                              qint64 received) mutable {
            Received = received;
            const auto now = std::chrono::steady_clock::now();
            if (reported && now - *reported < ProgressStep)
                return;
            reported = now;
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
    http.OnPart = nullptr;
    http.Cancelled = nullptr;
    if (result.Parts >= 0) {
        // A stream: its parts were delivered as they came; the last one may still wait for the
        // UI thread, and goes before the stream's end. Over now, one way or another.
        Synchronize([this] { TakePart(false); });
        WriteArchives();
        Streaming = false;
        PartTimes.clear();
        FramesPerSecond = 0;
        http.Close();
        if (result.Ok()) {
            qCInfo(lcHttp).noquote()
                << "stream of" << Url << "ended after" << result.Parts << "part(s)";
            return result.Parts > 0;
        }
    } else if (result.Ok()) {
        ContentLength = result.Headers.ContentLength;
        LastModified = result.Headers.LastModified;
        HaveResponse = true;
        Validators = THttpValidators::Of(result.Headers);
        // The last report fills the bar, whether or not the response announced its length.
        Received = ContentLength >= 0 ? ContentLength : body.size();
        ExpectedLength = Received;
        // Delivered even when termination was requested during the download.
        Raise(TEventKind::Progress);
        DeliverImage(std::move(body));
        return true;
    }
    if (result.Outcome == THttpOutcome::NotModified) {
        // The image shown is current; the connection stays for the next poll.
        qCInfo(lcHttp).noquote() << Url << "not modified";
        return false;
    }
    http.Close();
    qCInfo(lcHttp).noquote() << "fetch of" << Url << "failed:" << result.Cause();
    const TFetchFailure failure = FailureOf(result, QDateTime::currentDateTime());
    if (failure.Kind != TFailureKind::None)
        LastFailure = failure;
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

std::shared_ptr<TViewerSaver> TViewerSaver::Create(QByteArray body, QString path,
                                                   std::shared_ptr<TDispatcher> dispatcher)
{
    return std::shared_ptr<TViewerSaver>(
        new TViewerSaver(std::move(body), std::move(path), std::move(dispatcher)));
}

TViewerSaver::TViewerSaver(QByteArray body, QString path, std::shared_ptr<TDispatcher> dispatcher)
    : TWorkerThread(std::move(dispatcher)), Body(std::move(body)), Path(std::move(path))
{
}

void TViewerSaver::Execute()
{
    QString error;
    if (!SaveViewerImage(Body, Path, &error))
        qCInfo(lcImage) << "the picture could not be saved to" << Path << ":" << error;
}
