#pragma once

#include "base/Window.h"
#include "core/catalog/Catalog.h"
#include "core/net/FetchFailure.h"
#include "core/rules/AutoRefresh.h"
#include "core/rules/ViewerGeometry.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPoint>
#include <QRect>
#include <QString>
#include <chrono>
#include <memory>
#include <vector>

class QProgressBar;
class QToolButton;
class QWidget;
class TFramelessFrame;
class TArchiveQueue;
class THttpThread;
class QTimer;
class TPvImage;
class TViewerDecoder;
struct TViewerImage;
struct TViewerTick;
class TStatusBar;
class TViewerActions;

// The window that shows one webcam: a frameless tool window with the zooming image, a status bar
// (countdown or progress, size button, home-page and e-mail buttons, the webcam's name) and a
// context menu. It works on its own copy of the webcam, records its window state there and starts
// a fetch thread that delivers the images.
//
// The window wires three parts: the commands and menus (ViewerActions), the move and resize of
// the frameless window (FramelessFrame), and the fetch thread with the picture and status bar.
//
// The tray window opens a viewer like this:
//     auto* v = CreateForm<TfoViewer>();    // deletes itself when closed
//     v->SetupWebcam(catalogueCam, applySavedState);
class TfoViewer : public TSForm
{
    Q_OBJECT

public:
    explicit TfoViewer(QWidget* parent = nullptr);
    ~TfoViewer() override;

    // Takes a copy of the webcam, places the window from its saved state, starts fetching, shows
    // the window, and with applySavedState runs ApplySavedState (a saved snoozed or hidden state
    // is taken over).
    void SetupWebcam(const TCamWebcam& cam, bool applySavedState);
    // A saved UserState of 1 snoozes the window, 2 hides it; other values leave it shown.
    void ApplySavedState();

    // The viewer's own copy of the webcam with its current window state (the settings copy it
    // back into the catalogue when they are saved). Its Url identifies the viewer.
    const TCamWebcam& Webcam() const;
    bool Snoozed() const { return FSnoozed; }
    int ImageCount() const { return FImageCount; }

    // The open viewers in the order of the window list.
    static QList<TfoViewer*> Viewers();
    // Copies of the open viewers' webcams, newest window first: what the settings save as the
    // open webcams (TCamViewer::OnOpenViewers).
    static std::vector<TCamWebcam> OpenWebcams();

    // The tray opened this webcam again (its menu item, Last viewed): as RestoreWindow.
    void ShowAgain();
    // Restore All and the tray's window items: shown, brought to the front, no longer snoozed,
    // and recorded as shown (UserState 0).
    void RestoreWindow();

    // Events of the fetch thread, run on the user-interface thread. Public so that the thread's
    // hand-over (and tests) can deliver plain values.
    void ShowCountdown(int countdown);
    // The feed's schedule: the countdown runs from it on the viewers' shared timer.
    void ScheduleArrived(const TViewerTick& tick);
    void ShowProgress(int received, int contentLength);
    // An image from the feed, decoded off the UI thread: shown, counted, archived (off the UI
    // thread, in order), beeped.
    void ImageArrived(TViewerImage& image);
    // The same for bytes at hand (tests): decoded here, as the fetch thread would.
    void ImageArrived(const QByteArray& body);
    // A fetch failed (or its body was no picture): the first panel's hint says why and when.
    void ShowFailure(const TFetchFailure& failure);
    // The last archive write failed for reason (empty: it succeeded): the first panel's hint says
    // so, and the first failure of a webcam in a session is told to the user.
    void ShowArchiveFailure(const QString& reason);
    QString FailureHint() const;
    // A part of a stream arrived (before ImageArrived): the first panel says "live" and the frame
    // rate; the part is archived, and beeped, only once per refresh interval.
    void StreamPartArrived(int framesPerSecond);

    // Size rules applied to every proposed window size (outer size; the window has no frame).
    QSize FormCanResize(int newWidth, int newHeight);
    void SetClientSize(int width, int height);
    // The size button's caption, in a smaller font when it is wider than the button.
    void SetSizeCaption(const QString& caption);

    // Tick length of the countdown of the fetch threads this viewer starts (tests shorten it).
    static void SetTickMilliseconds(int ms);

    // Texts and states the tray and tests read.
    QString CountdownText() const;
    QString SizeCaption() const;
    // The size of the picture held for drawing, in device pixels (0 x 0 without one).
    QSize PictureSize() const;
    bool StatusShown() const;
    int Opacity() const { return FAlpha; }
    bool IsFetching() const { return FetchThread != nullptr; }

    // Writes the shown picture at its full size as a quality-90 JPEG file, on the calling thread
    // (the Save command does the same on a worker after its dialog). False when there is no
    // picture or the file cannot be written; a failed write leaves no partial file.
    // *error (when given) says why.
    bool SaveImage(const QString& path, QString* error = nullptr) const;
    // Save to path on a worker, as the Save command does after its dialog; a failure is shown to
    // the user with its reason.
    void SaveFile(const QString& path);

    // The catalogue changed (the editor's OK): each open viewer whose Url is still in root takes
    // the edited fields of its webcam (name, home page, e-mail, referrer); title, status bar and
    // the name its images are archived under follow.
    static void CatalogueChanged(const TCamCategory& root);
    void TakeEdits(const TCamWebcam& edited);

public slots:
    // Commands; the context menu, the shortcuts and the tray's commands over all viewers run them.
    void actHideExecute();
    void actSnoozeExecute();
    void actCloseExecute();
    void actRefreshExecute();
    void actStopRefreshExecute();
    void actRefreshCustomExecute();
    void actAlwaysOnTopExecute();
    void actProportionalExecute();
    void actStatusExecute();
    // The size commands (300*200 ... 200%): the client size the command asks for, with the
    // command's caption on the size button.
    void actSizeExecute(ViewerGeometry::SizeCommand command);
    void actFullScreenExecute();
    // The interval items: the refresh interval they carry.
    void actRefresh0Execute(int value);
    // The Auto interval item: the interval is learned from the webcam's image changes.
    void actRefreshAutoExecute();
    void actSaveExecute();
    void actAlphaUpExecute();
    void actAlphaDownExecute();
    void actSiteExecute();
    void actEmailExecute();
    void SizeButtonClick();

protected:
    void BuildLayout() override;
    void FormCreate() override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormDestroy();
    // The size button shows the scale and size shown now.
    void FormResize();
    // Title, accessible name, status bar and buttons from the viewer's webcam.
    void ShowWebcamFields();
    // The first panel's hint: the fetch failure and the archive failure, each on its line.
    void ShowHint();
    void ShowSaveFailure(const QString& path, const QString& reason);
    void CreateStatusBar();
    // With the Auto choice: the interval learned so far goes to the thread and the webcam.
    void ApplyAutoInterval();
    void StartFetch();
    void StopFetch(bool detach);
    // The shared timer's step: the countdown from the schedule, when it changed.
    void UpdateCountdown();
    static void StartCountdownTimer();
    void SaveSettings();
    void LayoutChildren();
    void ApplyOpacity();
    // Moves the window (reduced where it does not fit) inside the work area of the screen that
    // holds most of it, and records the result.
    void KeepOnScreen();
    static QList<QRect> WorkAreas();
    // Records the window's place and size in the viewer's webcam once it has a size of its own.
    void RecordGeometry();
    // A size change from outside (window manager, keyboard, compositor) goes through the size
    // rule and is recorded.
    void ExternalResize();
    // Where the save dialog starts.
    static QString SaveFolder();
    QSize ImageSize() const;
    QRect AvailableGeometry() const;
    // The size the fetch thread decodes for: the picture control in device pixels once the
    // window has a size of its own; before, empty (the first picture comes at full size).
    QSize DecodeTarget() const;
    // Tells the fetch thread the size to decode for, and decodes the kept image again when the
    // picture shown is coarser than the control now needs (a size command, the zoom).
    void PictureAreaChanged();
    // A new decode of the kept image arrived.
    void PictureDecoded(TViewerImage& image);
    // Hands body to the archive queue with the current settings.
    void ArchiveImage(const QByteArray& body);

    std::unique_ptr<TCamWebcam> ViewerCam;
    std::shared_ptr<THttpThread> FetchThread;
    std::unique_ptr<TArchiveQueue> Archiver;
    // The wait shown: the next fetch is due at NextFetch (steady clock) while Waiting.
    bool Waiting = false;
    std::chrono::steady_clock::time_point NextFetch;
    int ShownCountdown = -1;
    // The JPEG image shown, as received, and the scale it is shown at (1/ShownScale of its size).
    QByteArray ShownBody;
    int ShownScale = 1;
    // Decodes ShownBody again for a larger picture area, at DecoderScale; none when idle.
    std::shared_ptr<TViewerDecoder> Decoder;
    int DecoderScale = 1;
    AutoRefresh::TLearner Learner;
    bool StreamPart = false;      // the image being delivered is a part of a stream
    QElapsedTimer LastStreamKept; // since a stream part was last archived (or beeped)
    int FImageCount = 0;
    // The window has a size of its own: a saved one, or that of its first decoded picture.
    bool Sized = false;
    bool Resizing = false;
    bool FSnoozed = false;
    int FAlpha = 255;
    bool Translucent = false;
    bool Destroyed = false;
    QString FetchHint;
    QString ArchiveHint;

    TPvImage* CamImage = nullptr;
    TStatusBar* StatusBar = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QToolButton* SizeButton = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    std::unique_ptr<TViewerActions> Actions;
    TFramelessFrame* Frame = nullptr;
};
