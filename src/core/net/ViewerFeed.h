#pragma once

#include "core/image/Bitmap.h"
#include "core/io/Worker.h"
#include "core/net/FetchEngine.h"
#include "core/net/FetchFailure.h"
#include "core/net/HttpClient.h"

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

// Countdown of the wait between fetches after one second has passed: a lowered Interval shortens
// the wait at once, a raised one never lengthens it.
int CountdownAfterSecond(int countdown, int interval);

class TFetchEngine;

// Where and how a viewer's image is archived: filled in by the viewer on the UI thread, where
// the settings live; the file is written off it (THttpThread::Archive).
struct TArchiveOrder
{
    QString Name;
    QString SavePath;
    bool SubDirectory = false;
    int LastId = 0; // the webcam's LastId, from which the search for a free number starts
};

// What a viewer's feed hands over for each image read in full, and for each part of a stream:
// made off the UI thread, so that the UI thread only stores it and draws it.
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
};

// The progress of a body under way.
struct TViewerProgress
{
    qint64 Received = 0; // body bytes of the current fetch
    // The length the fetch is heading for: its response's Content-Length, or, when it has none,
    // that of the last image. Once the body is complete, both it and Received are its size.
    qint64 ExpectedLength = 0;
};

// The feed's schedule, posted when a wait begins (after each fetch) and whenever it changes (a
// new interval): the viewer counts down from it with its own timer.
struct TViewerTick
{
    std::chrono::steady_clock::time_point NextFetch; // when the next fetch is due
    int Countdown = 0; // whole ticks from the moment of posting to NextFetch
    // The last fetch that failed, and when (Kind None until one does). An unchanged image is no
    // failure.
    TFetchFailure LastFailure;
};

// Whole ticks left until due at time now, rounded up; 0 once due.
int CountdownAt(std::chrono::steady_clock::time_point due,
                std::chrono::steady_clock::time_point now, std::chrono::milliseconds tick);

// Decodes image.Body into image.Picture at the scale for a picture control of controlSize (empty:
// full size), with Scale and SourceSize. False, and Picture empty, when Body is not a readable
// JPEG image; *error then says why.
bool DecodeViewerImage(TViewerImage& image, QSize controlSize, QString* error = nullptr);

class TViewerTask;

// The feed behind one viewer: the fetch engine fetches Url again and again, Interval seconds apart
// (counted from the end of each fetch), keeping the connection for intervals up to 20 s; the feed
// decodes each image on the engine's pool and posts the value to the UI thread.
//
// Use (UI thread): auto t = THttpThread::Create(); set Url, Referer, the interval and the event
// slots; t->Start(). SetInterval at any time. To stop: ClearEvents() when the receiver goes away
// (the transfer under way ends at once, nothing more arrives), or Terminate() (no new fetch; a
// download under way still arrives); then drop the pointer.
//
// The event slots run on the UI thread and are only ever touched there; an empty slot is skipped,
// an exception from a slot is swallowed (and logged). Every event carries a value; nothing of the
// feed is read inside them. When the UI thread is behind, only the latest progress, schedule and
// stream part of a feed wait for it.
//
// After the first image every request is conditional (If-Modified-Since, If-None-Match): a 304 is
// an unchanged image that cost no body and keeps the connection. A server that ignores them gets
// the unchanged-image test on its headers.
//
// Every image has a deadline (ImageTimeoutMs, for a stream each part): a body that trickles in
// fails with a time-out.
//
// A failed fetch (no connection, time-out, a status other than 2xx, a redirect loop, an unchanged
// image whose body was not read, a 304) is logged under lcHttp and reported in OnTick's
// LastFailure; the next attempt comes after the interval, but never sooner than one Tick after the
// failure, whatever the interval. A permanent move that the webcam answers through is reported
// there too (LastFailure.MovedTo), with or without a failure.
class THttpThread final
{
public:
    using TImageEvent = std::function<void(TViewerImage&)>;
    using TProgressEvent = std::function<void(const TViewerProgress&)>;
    using TTickEvent = std::function<void(const TViewerTick&)>;

    static std::shared_ptr<THttpThread> Create(std::shared_ptr<TFetchEngine> engine = {});
    ~THttpThread();
    THttpThread(const THttpThread&) = delete;
    THttpThread& operator=(const THttpThread&) = delete;

    // Set before Start.
    QString Url;
    QString Referer;
    int ReadTimeoutMs = 10000;
    int ConnectTimeoutMs = 10000;
    int ImageTimeoutMs = 60000; // an image, or a part of a stream, takes at most this long
    // Least time between two parts of a stream handed to OnImage: a part that comes sooner waits,
    // and a newer one replaces it. A webcam that sends thousands of parts a second costs the UI
    // thread one hand-over per frame of the screen.
    std::chrono::milliseconds PartGap{16};
    // Length of one second of the schedule (the interval's unit, the pause after a failure);
    // tests shorten it.
    std::chrono::milliseconds Tick{1000};

    // Seconds between fetches; a negative value at the start means 10. Any time: a lowered
    // interval shortens the wait under way at once, a raised one never lengthens it.
    void SetInterval(int seconds);
    int Interval() const;

    // The size of the picture control the images are decoded for; empty (the start): full size.
    // Any time; it applies from the next image on.
    void SetControlSize(QSize size);
    QSize ControlSize() const;

    // Any thread: a picture the receiver is done with; the next decode writes into its buffer.
    void Recycle(TPicture&& picture);

    // Least time between two progress reports while a body arrives: the bar needs no more than a
    // few moves a second.
    static constexpr std::chrono::milliseconds ProgressStep{50};

    // UI thread only.
    TImageEvent OnImage; // a response was read in full, or a part of a stream arrived
    // After the first piece of body, then at most every ProgressStep, and once more when the
    // body is complete.
    TProgressEvent OnProgress;
    TTickEvent OnTick; // a wait began, or its end moved
    void ClearEvents();

    bool Start();
    void Terminate();
    bool Started() const { return Task != nullptr; }

    // The webcam answers with a stream of JPEG parts (multipart/x-mixed-replace): OnImage comes
    // for each part as it arrives (the latest one when the UI thread is behind, at most one per
    // PartGap), with Body the part, and the connection stays until the stream ends or the feed
    // terminates; the last part comes before the stream's end is told (OnTick). Then the wait of
    // Interval and a new connection.

private:
    explicit THttpThread(std::shared_ptr<TFetchEngine> engine);
    friend class TViewerTask;

    const std::shared_ptr<TFetchEngine> Engine;
    std::shared_ptr<TViewerTask> Task;
    std::shared_ptr<struct TViewerSink> Sink;
    int StartInterval = -1; // before Start
    QSize StartControl;     // before Start
};

// Writes one viewer's archive off the UI thread: each file after the ones asked for before, so
// that one webcam's files keep their order and numbering; then OnArchived on the UI thread with
// the webcam's LastId after the write and why it failed (empty when it did not). A failure is
// logged under lcArchive.
class TArchiveQueue
{
public:
    explicit TArchiveQueue(std::shared_ptr<TFetchEngine> engine = {});
    ~TArchiveQueue(); // later results are dropped; the writes asked for still happen
    TArchiveQueue(const TArchiveQueue&) = delete;
    TArchiveQueue& operator=(const TArchiveQueue&) = delete;

    std::function<void(int lastId, const QString& failure)> OnArchived; // UI thread only
    // UI thread. url names the webcam in the log.
    void Write(const QByteArray& body, const TArchiveOrder& order, const QString& url);

private:
    std::shared_ptr<struct TArchiveState> State;
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

// The saving itself, on the calling thread: Body decoded at full size, written as SaveToFile
// writes. False, with the reason in *error, when it is no readable image or the file cannot be
// written.
bool SaveViewerImage(const QByteArray& body, const QString& path, QString* error = nullptr);
