#pragma once

#include "core/catalog/ClassCategories.h"
#include "core/image/Bitmap.h"
#include "core/net/ClassWorker.h"
#include "core/net/FetchFailure.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

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

// What one attempt of the thumbnail thread brings its owner, made on the worker: the owner only
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
    // The response's values when the attempt completed, otherwise those the owner set.
    QDateTime LastModified;
    qint64 ContentLength = 0;
    // Why the attempt failed (a body that is no readable image counts); Kind None otherwise.
    TFetchFailure Failure;
};

// The worker of the mosaic and the chooser: fetches one image after another, one URL at a time.
// Its owner decides, in OnNext, which webcam comes next, and takes each result in OnImage.
//
// Use (UI thread): auto t = TMireThread::Create(); t->Index = -1; set PictureBox, KeepData,
// OnImage and OnNext; call the owner's own next-webcam handler once with *t (so Url, Referer,
// LastModified and ContentLength describe the first webcam); t->Start(). To stop: ClearEvents(),
// Terminate(), drop the pointer. OnNext may itself call Terminate() after the last webcam.
// Termination ends an attempt under way at once.
//
// A round is one walk through the owner's list: it begins whenever Index does not move forward
// (the owner wrapped around, or has a single webcam). A round begins at least one Tick after the
// previous one began, so a mosaic with one webcam, or with every webcam offline, does not spin. A
// webcam whose fetch failed sits out some rounds (TMireBackoff, retried at least every 60 Ticks):
// for it the thread makes no attempt and raises no OnImage, only OnNext. Failures are logged under
// lcHttp.
//
// After each attempt the worker decodes the body and scales it to fit PictureBox (DCT-scaled
// decode, then a scale), so that the UI thread never decodes; OnImage receives the result as one
// value.
//
// The owner writes Url, Referer, Index, LastModified, ContentLength, PictureBox and KeepData only
// before Start and inside OnNext; it reads Index inside the callbacks. The worker waits while a
// callback runs.
class TMireThread final : public TWorkerThread
{
public:
    using TEvent = std::function<void(TMireThread&)>;
    using TImageEvent = std::function<void(TMireImage&)>;

    static std::shared_ptr<TMireThread> Create(std::shared_ptr<TDispatcher> dispatcher = {});
    ~TMireThread() override;

    QString Url;
    QString Referer;
    int Index = -1;
    // Before an attempt: what the owner knows of this webcam (invalid = no date). After an attempt
    // that completed: the response's values (invalid when it had no Last-Modified, -1 when it had
    // no Content-Length). A failed or abandoned attempt leaves them as the owner set them.
    QDateTime LastModified;
    qint64 ContentLength = 0;
    // The box the picture is fitted into; empty: the body is not decoded.
    QSize PictureBox;
    // Whether OnImage's value carries the body as received.
    bool KeepData = false;

    int ReadTimeoutMs = 20000; // set before Start
    int ConnectTimeoutMs = 10000;
    // An attempt that has not brought its image by then fails as a time-out, and the thread goes
    // on with the next webcam: a body that trickles in does not hold the others up.
    int ImageTimeoutMs = 30000;

    // UI thread only.
    TImageEvent OnImage; // after every attempt, successful or not
    TEvent OnNext;       // after OnImage: prepare the next attempt, or Terminate()
    void ClearEvents();

protected:
    void Execute() override;

private:
    explicit TMireThread(std::shared_ptr<TDispatcher> dispatcher);
    // One GET of Url into Data; on success LastModified and ContentLength are the response's.
    THttpResult Attempt();
    // Decodes and scales Data into a value for OnImage.
    TMireImage MakeImage();

    QByteArray Data; // body of the current attempt

    TMireBackoff Backoff;
};

// Makes new pictures for JPEG images already received, at a new box size (the mosaic's cells
// changed size), one after another off the user-interface thread. OnImage receives one value per
// readable image (Index, Picture, SourceSize). Started and stopped like TMireThread; it ends by
// itself after the last image.
class TMireScaler final : public TWorkerThread
{
public:
    struct TJob
    {
        int Index = -1;
        QByteArray Data;
    };
    using TImageEvent = std::function<void(TMireImage&)>;

    static std::shared_ptr<TMireScaler> Create(std::vector<TJob> jobs, QSize box,
                                               std::shared_ptr<TDispatcher> dispatcher = {});

    TImageEvent OnImage; // UI thread only
    void ClearEvents() { OnImage = nullptr; }

protected:
    void Execute() override;

private:
    TMireScaler(std::vector<TJob> jobs, QSize box, std::shared_ptr<TDispatcher> dispatcher);
    std::vector<TJob> Jobs;
    const QSize Box;
};

// What the mosaic keeps for each webcam it shows; LastModified and ContentLength are the memory of
// the unchanged-image test between rounds.
struct TCamInfo
{
    TCamInfo() = default;
    // For a catalogue entry: the mosaic's own copy of it, so later catalogue changes do not reach
    // an open mosaic.
    explicit TCamInfo(const TCamWebcam& entry);

    // The last readable JPEG image as received, and its size; empty until one has come.
    QByteArray Image;
    QSize ImageSize;
    TCamWebcam Webcam; // copy of the catalogue entry, to open a viewer for the cell
    QString Referer;
    QString Url;
    QDateTime LastModified; // invalid = none
    qint64 ContentLength = 0;
    bool Online = false;
};
