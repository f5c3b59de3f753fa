#pragma once

#include "core/image/Bitmap.h"
#include "core/net/ClassHttpClient.h"
#include "core/net/ClassWorker.h"
#include "core/net/FetchFailure.h"
#include "core/net/LatestValue.h"

#include <QByteArray>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Countdown of the wait between fetches after one second has passed: a lowered Interval shortens
// the wait at once, a raised one never lengthens it.
int CountdownAfterSecond(int countdown, int interval);

// Where the viewer's worker archives an image after handing it over: the receiver fills it in on
// the UI thread, where the settings live; the file is written on the worker.
struct TArchiveOrder
{
    bool Write = false;
    QString Name;
    QString SavePath;
    bool SubDirectory = false;
    int LastId = 0; // the webcam's LastId, from which the search for a free number starts
};

// What the viewer's worker hands over for each image read in full, and for each part of a
// stream: made on the worker, so that the UI thread only stores it and draws it.
struct TViewerImage
{
    QString Url;
    QByteArray Body;          // as received; kept by the viewer for a decode at full size and Save
    std::size_t BodyHash = 0; // qHash of Body, for the Auto interval
    // The image decoded at 1/Scale of its own size (Scale 1, 2, 4 or 8, chosen by
    // ViewerGeometry::DecodeScale for the control it is shown in); empty when Body is not a
    // readable JPEG image.
    TPicture Picture;
    int Scale = 1;
    QSize SourceSize;         // the image's own size; empty when Picture is
    QDateTime LastModified;   // of the response; invalid when it had none
    qint64 ContentLength = 0; // of the response; -1 when it had none
    bool Streaming = false;   // a part of a stream
    int FramesPerSecond = 0;  // parts of the stream in the last second
    // LastId after the worker's last archive write (it only moves forward); -1: none yet.
    int ArchivedLastId = -1;
    // Filled in by the receiver: whether and where the worker archives Body after the hand-over.
    TArchiveOrder Archive;
};

// Decodes image.Body into image.Picture at the scale for a picture control of controlSize (empty:
// full size), with Scale and SourceSize. False, and Picture empty, when Body is not a readable
// JPEG image; *error then says why.
bool DecodeViewerImage(TViewerImage& image, QSize controlSize, QString* error = nullptr);

// The worker behind one viewer: fetches Url again and again, Interval seconds apart, keeping the
// connection for intervals up to 20 s, and hands its events to the UI thread, waiting until they
// have run.
//
// Use (UI thread): auto t = THttpThread::Create(); set Url, Referer, Interval and the event slots;
// t->Start(). Write Interval at any time. To stop: ClearEvents() (when the receiver goes away),
// Terminate(), and drop the pointer; the thread finishes the fetch under way and frees itself.
//
// The event slots run on the UI thread and are only ever touched there; an empty slot is skipped,
// an exception from a slot is swallowed (and logged). OnImage receives one value (TViewerImage):
// the image is decoded on the worker, at a reduced scale when the viewer's picture control
// (ControlSize) is much smaller than the image, and archived there after the hand-over when the
// receiver filled in its Archive order. Inside the other slots the receiver reads the fields
// below: Received and ExpectedLength (progress), Countdown, LastFailure, ArchivedLastId and
// ArchiveFailure (tick). The worker waits while a slot runs, so these reads are safe there and only
// there. The parts of a stream are the exception: the worker goes on reading while OnImage runs, a
// part waiting for the UI thread is replaced by a newer one (see PartGap), and the last part of a
// stream is handed over before the stream's end is.
//
// Every image has a deadline (ImageTimeoutMs, for a stream each part): a body that trickles in
// fails with a time-out. A receiver that goes (ClearEvents, Terminate) ends the transfer at once.
//
// After the first image every request is conditional (If-Modified-Since, If-None-Match): a 304 is
// an unchanged image that cost no body and keeps the connection. A server that ignores them gets
// the unchanged-image test on its headers.
//
// A failed fetch (no connection, time-out, a status other than 2xx, a redirect, an unchanged image
// whose body was not read, a 304) is logged under lcHttp and reported to nobody but LastFailure;
// the next attempt comes after the interval, but never sooner than one Tick after the failure,
// whatever the interval.
class THttpThread final : public TWorkerThread
{
public:
    using TEvent = std::function<void(THttpThread&)>;
    using TImageEvent = std::function<void(TViewerImage&)>;

    static std::shared_ptr<THttpThread> Create(std::shared_ptr<TDispatcher> dispatcher = {});
    ~THttpThread() override;

    // Set before Start.
    QString Url;
    QString Referer;
    int ReadTimeoutMs = 10000;
    int ConnectTimeoutMs = 10000;
    int ImageTimeoutMs = 60000; // an image, or a part of a stream, takes at most this long

    // Seconds between fetches; -1 (any negative value) at the start means 10. Any thread, any time.
    std::atomic<int> Interval{-1};

    // The size of the picture control the images are decoded for; empty (the start): full size.
    // Any thread, any time; it applies from the next image on.
    void SetControlSize(QSize size);
    QSize ControlSize() const;

    // Least time between two progress reports while a body arrives. A report for each piece of
    // body (a kilobyte) would cost the UI thread a hand-over per kilobyte, and the bar needs no
    // more than a few moves a second.
    static constexpr std::chrono::milliseconds ProgressStep{50};
    // Least time between two parts of a stream handed to OnImage: a part that comes sooner waits,
    // and a newer one replaces it. A webcam that sends thousands of parts a second costs the UI
    // thread one hand-over per frame of the screen. Set before Start.
    std::chrono::milliseconds PartGap{16};

    // UI thread only.
    TImageEvent OnImage; // a response was read in full, or a part of a stream arrived
    // After the first piece of body, then at most every ProgressStep, and once more when the
    // body is complete.
    TEvent OnProgress;
    TEvent OnTick; // each second of the wait, and once when it ends: Countdown
    // Empties the slots: the receiver is gone. A transfer under way then ends at once (nobody
    // would see its image) once termination is requested too.
    void ClearEvents();

    // Read inside the slots.
    QDateTime LastModified; // of the last response read in full; invalid when it had none
    qint64 Received = 0;    // body bytes of the current fetch
    // The length the current fetch is heading for: its response's Content-Length, or, when it
    // has none, ContentLength. Once the body is complete, both it and Received are its size.
    qint64 ExpectedLength = 0;
    qint64 ContentLength = 0; // of the last response read in full; -1 when it had none
    int Countdown = 0;        // seconds left before the next fetch
    // The last fetch that failed, and when (Kind None until one does); read it in OnTick, which
    // follows every fetch. An unchanged image is no failure.
    TFetchFailure LastFailure;
    // The webcam answers with a stream of JPEG parts (multipart/x-mixed-replace): OnImage comes
    // for each part as it arrives, with Body the part, and the connection stays until the stream
    // ends; then the wait of Interval and a new connection. FramesPerSecond: parts in the last
    // second.
    bool Streaming = false;
    int FramesPerSecond = 0;
    // LastId after the last archive write of this thread; -1 until it wrote one.
    int ArchivedLastId = -1;
    // Why the last archive write failed; empty until one fails and again once one succeeds.
    QString ArchiveFailure;

protected:
    void Execute() override;

private:
    explicit THttpThread(std::shared_ptr<TDispatcher> dispatcher);

    enum class TEventKind
    {
        Progress,
        Tick
    };
    bool Raise(TEventKind kind);
    // One GET of Url; true when an image was delivered.
    bool Fetch(THttpClient& http);
    // The value of body for OnImage, decoded on this thread.
    TViewerImage MakeImage(QByteArray body);
    // Decodes body, hands it to OnImage, then archives it when the receiver asked for it.
    void DeliverImage(QByteArray body);
    // A part of a stream: decoded and left for the UI thread, in place of a part it has not taken.
    void PostPart(QByteArray part);
    // UI thread: hands the waiting part (if any) to OnImage; with again, the next take is due
    // PartGap later.
    void TakePart(bool again);
    // Writes the archive orders the receiver gave for parts of a stream.
    void WriteArchives();
    void WriteArchive(const QByteArray& body, const TArchiveOrder& order);

    mutable std::mutex SizeMutex;
    QSize FControlSize; // under SizeMutex

    bool HaveResponse = false;  // a response was read in full: the unchanged test applies
    THttpValidators Validators; // of that response, for the conditional requests
    std::deque<std::chrono::steady_clock::time_point> PartTimes; // of the last second
    std::atomic<bool> Orphaned{false};                           // ClearEvents was called
    TLatestValue<TViewerImage> LatestPart;
    std::mutex ArchiveMutex;
    std::vector<std::pair<QByteArray, TArchiveOrder>> ArchiveOrders; // under ArchiveMutex
};

// Decodes an image a viewer keeps once more, for a new size of its picture control (a size
// command, the zoom), off the UI thread: OnImage receives the value (Body, Picture, Scale,
// SourceSize), then the worker ends. Started and stopped like THttpThread.
class TViewerDecoder final : public TWorkerThread
{
public:
    using TImageEvent = std::function<void(TViewerImage&)>;

    static std::shared_ptr<TViewerDecoder> Create(QByteArray body, QSize controlSize,
                                                  std::shared_ptr<TDispatcher> dispatcher = {});

    TImageEvent OnImage; // UI thread only
    void ClearEvents() { OnImage = nullptr; }

protected:
    void Execute() override;

private:
    TViewerDecoder(QByteArray body, QSize controlSize, std::shared_ptr<TDispatcher> dispatcher);
    QByteArray Body;
    const QSize Control;
};

// Writes an image a viewer keeps as a quality-90 JPEG file of its full size (the Save command),
// off the UI thread: decode, encode and write happen here. A failure is logged under lcImage;
// a failed write leaves no partial file. Nobody waits for it: it ends by itself.
class TViewerSaver final : public TWorkerThread
{
public:
    static std::shared_ptr<TViewerSaver> Create(QByteArray body, QString path,
                                                std::shared_ptr<TDispatcher> dispatcher = {});

protected:
    void Execute() override;

private:
    TViewerSaver(QByteArray body, QString path, std::shared_ptr<TDispatcher> dispatcher);
    const QByteArray Body;
    const QString Path;
};

// The saving itself, on the calling thread: Body decoded at full size, written as SaveToFile
// writes. False, with the reason in *error, when it is no readable image or the file cannot be
// written.
bool SaveViewerImage(const QByteArray& body, const QString& path, QString* error = nullptr);
