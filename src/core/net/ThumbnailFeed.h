#pragma once

#include "core/catalog/Catalog.h"
#include "core/image/Bitmap.h"
#include "core/io/Worker.h"
#include "core/net/FetchEngine.h"
#include "core/net/FetchFailure.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

struct THttpResult;

// Which webcams the thumbnail thread leaves out of a round. A webcam whose fetch failed is skipped
// for the next 1, 2, 4, 8, ... rounds after each failure in a row, but never for longer than
// RetryAfter since that failure, so that an offline webcam is still tried now and then. A fetch
// that reaches the webcam ends its skipping. Webcams are known by their URL.
class TMireBackoff
{
public:
    using TClock = std::chrono::steady_clock;

    std::chrono::milliseconds RetryAfter{60000};

    // Whether the webcam at url sits out round `round`, at time now.
    bool Skip(const QString& url, qint64 round, TClock::time_point now) const;
    // A fetch of url failed in round `round` at time now; returns the rounds it will sit out.
    int Failed(const QString& url, qint64 round, TClock::time_point now);
    // A fetch of url reached the webcam.
    void Succeeded(const QString& url);

private:
    struct TEntry
    {
        int Failures = 0; // failures in a row
        qint64 Round = 0; // round of the last failure
        TClock::time_point At;
    };
    QHash<QString, TEntry> Entries;
};

// What one attempt of a thumbnail feed brings its owner, made off the UI thread: the owner only
// stores it and draws it.
struct TMireImage
{
    int Index = -1; // the owner's position of the webcam
    QString Url;
    // A body arrived (the webcam sent an image, or something that claims to be one).
    bool Received = false;
    // The body as received, when the owner asked for it (KeepData); empty otherwise.
    QByteArray Data;
    // The image decoded and scaled to fit the owner's PictureBox; empty when nothing arrived, the
    // body is not a readable JPEG image, or the box is empty.
    TBitmap Picture;
    QSize SourceSize; // the JPEG image's own size; empty when it was not read
    // Picture again as a JPEG image, when the owner asked for it (CellQuality): a few kilobytes
    // from which the owner decodes the picture whenever it needs it again.
    QByteArray Cell;
    // The response's values when the attempt completed, otherwise those known before.
    QDateTime LastModified;
    qint64 ContentLength = 0;
    // Why the attempt failed (a body that is no readable image counts); Kind None otherwise.
    TFetchFailure Failure;
};

// A webcam in the list of a thumbnail feed: what its owner knows of it.
struct TMireCam
{
    QString Url;
    QString Referer;
    int Interval = 1; // its refresh interval in seconds: it is asked no more often (at least 1 s)
    // From an earlier image (invalid = no date, 0 = no length): the unchanged-image test and the
    // conditional request use them.
    QDateTime LastModified;
    qint64 ContentLength = 0;
};

// The attempt that begins: the owner's position of the webcam and its address.
struct TMireNext
{
    int Index = -1;
    QString Url;
};

class TMireTask;

// The feed of the mosaic and the chooser: the fetch engine fetches the webcams of Cams one after
// another (in each of Lanes lanes), and the feed hands each result to the UI thread as a value.
//
// Use (UI thread): auto t = TMireThread::Create(); fill Cams; set Repeat, PictureBox, KeepData and
// the event slots; t->Start(). To stop: ClearEvents() (the transfer under way ends at once) and
// drop the pointer.
//
// With Repeat (the mosaic) the list is walked round after round without end; a round is one walk
// through the list. A webcam is asked no more often than its own Interval (at least one Tick
// apart): when none is due the feed waits. A webcam whose fetch failed sits out some rounds
// (TMireBackoff, retried at least every 60 Ticks); it gets no attempt and no OnImage. Without
// Repeat (the chooser) each webcam is asked once, in order, and then OnDone comes. Failures are
// logged under lcHttp.
//
// Each body is decoded and scaled to fit PictureBox (DCT-scaled decode, then a scale) on the
// engine's pool, so that the UI thread never decodes; OnImage receives the result as one value.
// The feed keeps each webcam's Last-Modified and Content-Length between rounds itself.
class TMireThread final
{
public:
    using TImageEvent = std::function<void(TMireImage&)>;
    using TNextEvent = std::function<void(const TMireNext&)>;
    using TDoneEvent = std::function<void()>;

    static std::shared_ptr<TMireThread> Create(std::shared_ptr<TFetchEngine> engine = {});
    ~TMireThread();
    TMireThread(const TMireThread&) = delete;
    TMireThread& operator=(const TMireThread&) = delete;

    // Set before Start.
    std::vector<TMireCam> Cams;
    bool Repeat = true;
    // Whether OnImage's value carries the body as received.
    bool KeepData = false;
    // Above 0: OnImage's value carries the picture encoded as a JPEG image of this quality.
    int CellQuality = 0;
    int ReadTimeoutMs = 20000;
    int ConnectTimeoutMs = 10000;
    // An attempt that has not brought its image by then fails as a time-out, and the feed goes on
    // with the next webcam: a body that trickles in does not hold the others up.
    int ImageTimeoutMs = 30000;
    // Length of one second (the least time between two asks of a webcam, the unit of the
    // intervals); tests shorten it.
    std::chrono::milliseconds Tick{1000};
    // Attempts under way at once: the list is dealt out to this many lanes (webcam i to lane
    // i % Lanes), each walking its share in order. One lane asks the webcams strictly in list
    // order; more fill a long list sooner, where each webcam takes a network round trip.
    int Lanes = 1;

    // The box the pictures are fitted into; empty: bodies are not decoded. Any time; it applies
    // from the next image on.
    void SetPictureBox(QSize box);

    // UI thread only.
    TImageEvent OnImage; // after every attempt, successful or not
    TNextEvent OnNext;   // an attempt begins (the latest one when the UI thread is behind)
    TDoneEvent OnDone;   // without Repeat: every webcam was asked and its OnImage came
    void ClearEvents();

    bool Start();
    // No new attempt; the one under way ends at once, without OnImage.
    void Terminate();

private:
    explicit TMireThread(std::shared_ptr<TFetchEngine> engine);
    const std::shared_ptr<TFetchEngine> Engine;
    std::vector<std::shared_ptr<TMireTask>> Tasks; // one per lane
    std::shared_ptr<struct TMireSink> Sink;
};

// What the mosaic keeps for each webcam it shows; LastModified and ContentLength are the memory of
// the unchanged-image test between rounds.
struct TCamInfo
{
    TCamInfo() = default;
    // For a catalogue entry: the mosaic's own copy of it, so later catalogue changes do not reach
    // an open mosaic.
    explicit TCamInfo(const TCamWebcam& entry);

    // The last readable JPEG image as received (for an owner that keeps it; the mosaic does not),
    // and its size; empty until one has come.
    QByteArray Image;
    QSize ImageSize;
    TCamWebcam Webcam; // copy of the catalogue entry, to open a viewer for the cell
    QString Referer;
    QString Url;
    QDateTime LastModified; // invalid = none
    qint64 ContentLength = 0;
    bool Online = false;
};
