#include "viewer/FormViewer.h"

#include "base/DialogsAbove.h"
#include "base/FormList.h"
#include "base/StatusBar.h"
#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/catalog/Catalog.h"
#include "core/catalog/Settings.h"
#include "core/catalog/Strings.h"
#include "core/net/ViewerFeed.h"
#include "core/rules/CamAddress.h"
#include "core/rules/MenuColumns.h"
#include "core/rules/ViewerGeometry.h"
#include "platform/Desktop.h"
#include "viewer/FramelessFrame.h"
#include "viewer/ImageSaveJob.h"
#include "viewer/PvImage.h"
#include "viewer/ViewerActions.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <climits>

using namespace ViewerGeometry;

namespace {
// Width of the status bar's panels; the last one takes the remaining width.
constexpr int PanelWidth0 = 100;
constexpr int PanelWidth1 = 100;
constexpr int PanelWidth2 = 34;

std::chrono::milliseconds tickLength{1000};

// The one timer of every viewer's countdown.
QTimer* countdownTimer = nullptr;

// The viewer's background around the zoomed picture: a plain desktop colour.
const QColor DesktopColour(58, 110, 165);

// The last viewer opened without a saved place: the next one opens offset from it.
QPointer<TfoViewer> lastNewViewer;

// The webcams (by Url) whose failed archive the user has been told of in this session.
QSet<QString>& toldArchiveFailures()
{
    static QSet<QString> told;
    return told;
}

// A status-bar button that runs a command: it shows the command's picture and follows its enabled
// state. Its hint starts as the command's caption and is the button's own, so that a language
// file translates it on the button and later changes of the command leave it alone.
void LinkButton(QToolButton* button, QAction* action)
{
    button->setIcon(action->icon());
    button->setToolTip(action->text());
    button->setEnabled(action->isEnabled());
    QObject::connect(action, &QAction::changed, button,
                     [button, action] { button->setEnabled(action->isEnabled()); });
    QObject::connect(button, &QToolButton::clicked, action, &QAction::trigger);
}
} // namespace

TfoViewer::TfoViewer(QWidget* parent)
    : TSForm(QStringLiteral("foViewer"), parent, Qt::FramelessWindowHint | Qt::Tool)
{
}

TfoViewer::~TfoViewer()
{
    FormDestroy();
}

void TfoViewer::BuildLayout()
{
    setAttribute(Qt::WA_DeleteOnClose);
    resize(308, 253);
    setMinimumSize(MinimumSize, MinimumSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, DesktopColour);
    setPalette(pal);
    setAutoFillBackground(true);

    CamImage = new TPvImage(this);
    CamImage->setObjectName(QStringLiteral("CamImage"));
    CamImage->SetAutoZoom(true);
    CamImage->setContextMenuPolicy(Qt::NoContextMenu);

    CreateStatusBar();
    Actions = std::make_unique<TViewerActions>(this);
    LinkButton(SpeedButton1, Actions->Site());
    LinkButton(SpeedButton2, Actions->Email());

    // The context menu opens over the picture and the window alike.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { Actions->PopupMenu()->popup(mapToGlobal(pos)); });

    // Moving by dragging the picture, resizing at the edges, through the size rule.
    TFramelessFrame::THooks hooks;
    hooks.CanResize = [this](QSize proposed) {
        return FormCanResize(proposed.width(), proposed.height());
    };
    hooks.Record = [this] { RecordGeometry(); };
    Frame = new TFramelessFrame(this, std::move(hooks));
    Frame->AddMoveSurface(CamImage);
    Frame->AddEdgeSurface(StatusBar);
    for (TStatusPanel* panel : StatusBar->Panels())
        panel->setMouseTracking(true);
}

void TfoViewer::FormCreate()
{
    ViewerCam = std::make_unique<TCamWebcam>();
    Resizing = false;
    if (CamViewer) {
        if (CamViewer->AlwaysOnTop)
            Actions->AlwaysOnTop()->trigger();
        if (CamViewer->PropResize)
            Actions->Proportional()->trigger();
        if (!CamViewer->Status)
            Actions->Status()->trigger();
    }
    LayoutChildren();
    update();
}

void TfoViewer::CreateStatusBar()
{
    StatusBar = new TStatusBar(this);
    StatusBar->setFixedHeight(StatusBarHeight);
    StatusBar->setAutoFillBackground(true);
    // The bar keeps the usual window colour; only the picture's surroundings take the desktop's.
    QPalette barPalette = StatusBar->palette();
    barPalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    StatusBar->setPalette(barPalette);
    // Countdown or progress; size button; home-page and e-mail buttons; the webcam's name.
    for (int width : {PanelWidth0, PanelWidth1, PanelWidth2, -1})
        StatusBar->AddPanel(width)->setIndent(2);
    // The first panel's hint tells why the webcam fails, also while the viewer is not active.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    // The controls sit over their panels, inside the panels' sunken frames.
    const QRect inside(1, 1, PanelWidth0 - 2, StatusBarHeight - 2);
    ProgressBar = new QProgressBar(StatusBar->Panel(0));
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->setGeometry(inside);
    ProgressBar->hide();

    SizeButton = new QToolButton(StatusBar->Panel(1));
    SizeButton->setObjectName(QStringLiteral("SizeButton"));
    SizeButton->setAutoRaise(true);
    SizeButton->setText(QStringLiteral("320*200"));
    SizeButton->setGeometry(QRect(1, 1, PanelWidth1 - 2, StatusBarHeight - 2));
    SizeButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SizeButton, &QToolButton::clicked, this, &TfoViewer::SizeButtonClick);
    connect(SizeButton, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        Actions->SizePopup()->popup(SizeButton->mapToGlobal(pos));
    });

    SpeedButton1 = new QToolButton(StatusBar->Panel(2));
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setGeometry(1, 1, 16, StatusBarHeight - 2);
    SpeedButton2 = new QToolButton(StatusBar->Panel(2));
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setGeometry(17, 1, 16, StatusBarHeight - 2);
}

void TfoViewer::FormDestroy()
{
    if (Destroyed)
        return;
    Destroyed = true;
    // Out of the window list first, so that the save below no longer lists this webcam.
    TFormList::Remove(this);
    StopFetch(true);
    StopWorker(Decoder);
    Archiver.reset();
    const bool save = !TFormList::ShuttingDown();
    ViewerCam.reset();
    if (save)
        SaveSettings();
}

void TfoViewer::SetupWebcam(const TCamWebcam& cam, bool applySavedState)
{
    ViewerCam->Assign(cam);
    ShowWebcamFields();

    // The saved geometry; -1 leaves a value as it is.
    QRect g = geometry();
    const TCamWebcam& c = *ViewerCam;
    if (c.UserLeft != -1)
        g.moveLeft(c.UserLeft);
    if (c.UserTop != -1)
        g.moveTop(c.UserTop);
    if (c.UserWidth != -1)
        g.setWidth(std::max(c.UserWidth, MinimumSize));
    if (c.UserHeight != -1)
        g.setHeight(std::max(c.UserHeight, MinimumSize));
    if (c.UserTop != -1 || c.UserLeft != -1 || c.UserWidth != -1 || c.UserHeight != -1) {
        FImageCount = 1;
        Sized = true;
    }
    if (c.UserTop == -1 && c.UserLeft == -1) {
        // A new window: centred, or offset from the last new one so that neither hides the other.
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect sg = s ? s->geometry() : QRect(0, 0, 1024, 768);
        if (lastNewViewer && lastNewViewer != this)
            g.moveTopLeft(
                CascadePosition(lastNewViewer->geometry(), g.size(), AvailableGeometry()));
        else
            g.moveTopLeft(sg.topLeft() + CenteredPosition(sg.size(), g.size()));
        lastNewViewer = this;
    }
    Resizing = true;
    setGeometry(g);
    Resizing = false;
    // The saved place may be on a screen that is gone, or larger than the screen it is on now.
    KeepOnScreen();
    // A hidden window gets its resize event only when shown, after the fetch below has begun:
    // the picture area is laid out now, so that the first image is decoded for the saved size.
    LayoutChildren();

    if (c.UserRefresh >= 0)
        ViewerCam->Refresh = c.UserRefresh;
    // The interval learned last goes on with Auto.
    Actions->MarkInterval(ViewerCam->Refresh, c.UserAuto);

    if (c.UserAlpha > 0) {
        // A window saved all but transparent comes back at the least opacity.
        FAlpha = ClampAlpha(c.UserAlpha);
        ViewerCam->UserAlpha = FAlpha;
        Translucent = true;
        ApplyOpacity();
    }
    StartFetch();

    show();
    if (applySavedState)
        ApplySavedState();
}

void TfoViewer::ShowWebcamFields()
{
    // A name may hold the webcam's address, password and all.
    const QString name = MaskedAddresses(ViewerCam->Name);
    CamImage->setAccessibleName(name);
    TFormList::SetTitle(this, name);
    StatusBar->Panel(3)->setText(MenuCaption(name));
    Actions->Site()->setEnabled(!ViewerCam->Homepage.isEmpty());
    Actions->Email()->setEnabled(!MailLink(ViewerCam->Email).isEmpty());
}

void TfoViewer::TakeEdits(const TCamWebcam& edited)
{
    // The fields the editor changes; the window state and the interval stay the viewer's.
    const bool refererChanged = ViewerCam->Referer != edited.Referer;
    ViewerCam->Name = edited.Name;
    ViewerCam->Homepage = edited.Homepage;
    ViewerCam->Email = edited.Email;
    ViewerCam->Referer = edited.Referer;
    ShowWebcamFields();
    // The fetch thread takes the referrer at its start.
    if (refererChanged && FetchThread)
        actRefreshExecute();
}

void TfoViewer::CatalogueChanged(const TCamCategory& root)
{
    for (TfoViewer* viewer : Viewers())
        if (viewer->ViewerCam)
            if (const TCamWebcam* cam = root.FindWebcam(viewer->ViewerCam->Url))
                viewer->TakeEdits(*cam);
}

void TfoViewer::ApplySavedState()
{
    if (ViewerCam->UserState == CamStateSnoozed)
        actSnoozeExecute();
    else if (ViewerCam->UserState == CamStateHidden)
        actHideExecute();
}

const TCamWebcam& TfoViewer::Webcam() const
{
    return *ViewerCam;
}

QList<TfoViewer*> TfoViewer::Viewers()
{
    return TFormList::Of<TfoViewer>();
}

std::vector<TCamWebcam> TfoViewer::OpenWebcams()
{
    std::vector<TCamWebcam> cams;
    const QList<TfoViewer*> viewers = Viewers();
    for (auto it = viewers.crbegin(); it != viewers.crend(); ++it)
        if (TfoViewer* viewer = *it; viewer->ViewerCam)
            cams.push_back(*viewer->ViewerCam);
    return cams;
}

void TfoViewer::ShowAgain()
{
    RestoreWindow();
}

void TfoViewer::RestoreWindow()
{
    // Shown from now on, also for the next start: a window left hidden in the record would come
    // back hidden although it was on screen at Exit.
    ViewerCam->UserState = CamStateShown;
    FSnoozed = false;
    show();
    raise();
    activateWindow();
}

void TfoViewer::SetTickMilliseconds(int ms)
{
    tickLength = std::chrono::milliseconds(ms);
}

// --- Refresh schedule ---------------------------------------------------------------------------

void TfoViewer::StartFetch()
{
    auto thread = THttpThread::Create();
    // Results may still come from a feed this window let go of (a refresh ends the old feed
    // without dropping its download): they reach the window through a guarded pointer, and
    // the destructor clears the current feed's events.
    QPointer<TfoViewer> self(this);
    thread->OnImage = [self](TViewerImage& image) {
        if (!self)
            return;
        self->Learner.Delivered(image.LastModified, image.BodyHash,
                                QDateTime::currentSecsSinceEpoch());
        self->ApplyAutoInterval();
        if (image.Streaming)
            self->StreamPartArrived(image.FramesPerSecond);
        self->ImageArrived(image);
        self->StreamPart = false;
    };
    thread->OnProgress = [self](const TViewerProgress& progress) {
        if (!self)
            return;
        self->Waiting = false;
        self->ShowProgress(
            static_cast<int>(std::clamp<qint64>(progress.Received, -1, INT_MAX)),
            static_cast<int>(std::clamp<qint64>(progress.ExpectedLength, -1, INT_MAX)));
    };
    thread->OnTick = [self](const TViewerTick& tick) {
        if (self)
            self->ScheduleArrived(tick);
    };
    thread->Url = ViewerCam->Url;
    thread->Referer = ViewerCam->Referer;
    thread->SetInterval(ViewerCam->Refresh);
    thread->Tick = tickLength;
    thread->SetControlSize(DecodeTarget());
    thread->Start();
    FetchThread = std::move(thread);
    StartCountdownTimer();
}

void TfoViewer::ScheduleArrived(const TViewerTick& tick)
{
    Waiting = true;
    NextFetch = tick.NextFetch;
    ShownCountdown = -1;
    UpdateCountdown();
    if (!tick.LastFailure.Empty())
        ShowFailure(tick.LastFailure);
    if (!CamViewer || !CamViewer->SaveImages)
        ShowArchiveFailure(QString()); // archiving was turned off
    ApplyAutoInterval();
}

void TfoViewer::UpdateCountdown()
{
    if (!Waiting || !FetchThread)
        return;
    const int countdown = CountdownAt(NextFetch, std::chrono::steady_clock::now(), tickLength);
    if (countdown == ShownCountdown)
        return;
    ShownCountdown = countdown;
    ShowCountdown(countdown);
}

void TfoViewer::StartCountdownTimer()
{
    // One timer for every viewer, a few steps per tick so that each second shows in time.
    if (!countdownTimer) {
        countdownTimer = new QTimer(QCoreApplication::instance());
        QObject::connect(countdownTimer, &QTimer::timeout, [] {
            for (TfoViewer* viewer : Viewers())
                viewer->UpdateCountdown();
        });
    }
    const int step = std::max<int>(1, int(tickLength.count() / 4));
    if (countdownTimer->interval() != step || !countdownTimer->isActive())
        countdownTimer->start(step);
}

void TfoViewer::StopFetch(bool detach)
{
    Waiting = false;
    if (!FetchThread)
        return;
    if (detach)
        FetchThread->ClearEvents();
    FetchThread->Terminate();
    FetchThread.reset();
}

void TfoViewer::actRefreshExecute()
{
    // The old thread's events stay connected: a download it has under way still arrives.
    StopFetch(false);
    StartFetch();
}

void TfoViewer::actStopRefreshExecute()
{
    StopFetch(false);
    StatusBar->Panel(0)->clear();
}

void TfoViewer::actRefresh0Execute(int value)
{
    // Items that leave the mark in place still end the Auto choice, whose mark goes.
    if (ViewerCam->UserAuto && Actions->RefreshAuto()->isChecked())
        Actions->RefreshAuto()->setChecked(false);
    ViewerCam->UserAuto = false;
    ViewerCam->Refresh = value;
    if (FetchThread)
        FetchThread->SetInterval(value);
    else
        actRefreshExecute();
    ViewerCam->UserRefresh = ViewerCam->Refresh;
}

void TfoViewer::actRefreshCustomExecute()
{
    bool ok = false;
    QPointer<TfoViewer> self(this);
    const QString text =
        QInputDialog::getText(this, RefreshTitle, RefreshCaption, QLineEdit::Normal,
                              QString::number(ViewerCam->Refresh), &ok);
    // The window may have gone while the box was open.
    if (!self)
        return;
    const std::optional<int> parsed = ParseInterval(text);
    if (ok && !parsed) {
        qCInfo(lcUi) << "refused the refresh interval" << text.left(40);
        ShowWarningBox(QString(IntervalRefused).replace(QLatin1String("%text%"), text.left(40)),
                       QStringLiteral("IntervalRefusedBox"), this);
    }
    if (!ok || !parsed) {
        // Choosing Custom marked it: the mark goes back to the interval that stays.
        Actions->MarkInterval(ViewerCam->Refresh, ViewerCam->UserAuto);
        return;
    }
    const int value = *parsed;
    Actions->MarkInterval(value, false);
    ViewerCam->UserAuto = false;
    ViewerCam->Refresh = value;
    if (FetchThread)
        FetchThread->SetInterval(value);
    ViewerCam->UserRefresh = value;
}

void TfoViewer::actRefreshAutoExecute()
{
    ViewerCam->UserAuto = true;
    ApplyAutoInterval();
    if (!FetchThread)
        actRefreshExecute();
}

void TfoViewer::ApplyAutoInterval()
{
    if (!ViewerCam->UserAuto)
        return;
    // Until the webcam has shown its pace, the interval it had goes on (within the Auto bounds).
    const int fallback =
        std::clamp(ViewerCam->Refresh, AutoRefresh::MinInterval, AutoRefresh::MaxInterval);
    const int interval = Learner.Interval(QDateTime::currentSecsSinceEpoch(), fallback);
    ViewerCam->Refresh = interval;
    ViewerCam->UserRefresh = interval;
    if (FetchThread && FetchThread->Interval() != interval)
        FetchThread->SetInterval(interval);
}

// --- Events of the fetch thread -----------------------------------------------------------------

QString TfoViewer::CountdownText() const
{
    return StatusBar->Panel(0)->text();
}

void TfoViewer::ShowCountdown(int countdown)
{
    StatusBar->Panel(0)->setText(
        ViewerGeometry::CountdownText(countdown, TimeLeft, TimeLeftOne, TestingRefresh));
}

void TfoViewer::StreamPartArrived(int framesPerSecond)
{
    StreamPart = true;
    StatusBar->Panel(0)->setText(
        QString(StreamLive).replace(QStringLiteral("%d"), QString::number(framesPerSecond)));
}

void TfoViewer::ShowFailure(const TFetchFailure& failure)
{
    FetchHint = FailureHintLine(failure, QDateTime::currentDateTime());
    ShowHint();
}

void TfoViewer::ShowArchiveFailure(const QString& reason)
{
    ArchiveHint = reason.isEmpty()
                      ? QString()
                      : QString(NotArchived).replace(QLatin1String("%reason%"), reason);
    ShowHint();
    if (reason.isEmpty() || toldArchiveFailures().contains(ViewerCam->Url))
        return;
    // Told once per webcam in a session; the hint says it for as long as it lasts.
    toldArchiveFailures().insert(ViewerCam->Url);
    QString text = ArchiveFailed;
    text.replace(QLatin1String("%name%"), MaskedAddresses(ViewerCam->Name));
    text.replace(QLatin1String("%path%"), CamViewer ? CamViewer->SavePath : QString());
    text.replace(QLatin1String("%reason%"), reason);
    if (ITrayHost* host = TrayHost())
        host->ShowWarning(text, QStringLiteral("ArchiveFailureBox"));
    else
        ShowWarningBox(text, QStringLiteral("ArchiveFailureBox"));
}

void TfoViewer::ShowHint()
{
    QStringList lines;
    for (const QString& line : {FetchHint, ArchiveHint})
        if (!line.isEmpty())
            lines << line;
    StatusBar->Panel(0)->setToolTip(lines.join(QLatin1Char('\n')));
}

QString TfoViewer::FailureHint() const
{
    return StatusBar->Panel(0)->toolTip();
}

void TfoViewer::ShowProgress(int received, int contentLength)
{
    StatusBar->Panel(0)->clear();
    ProgressBar->show();
    // Zero as the maximum would make the bar an endless busy animation: it shows empty instead.
    // A position beyond the maximum fills the bar.
    const int maximum = std::max(0, contentLength);
    if (maximum == 0) {
        ProgressBar->setRange(0, 1);
        ProgressBar->setValue(0);
    } else {
        ProgressBar->setRange(0, maximum);
        ProgressBar->setValue(std::clamp(received, 0, maximum));
    }
}

void TfoViewer::ImageArrived(const QByteArray& body)
{
    TViewerImage image;
    image.Body = body;
    QString error;
    if (!body.isEmpty() && !DecodeViewerImage(image, DecodeTarget(), &error))
        qCInfo(lcImage) << "viewer" << MaskedAddress(ViewerCam->Url) << "received" << body.size()
                        << "bytes that do not decode as JPEG:" << error;
    ImageArrived(image);
}

void TfoViewer::ImageArrived(TViewerImage& image)
{
    if (FSnoozed && (ViewerCam->StartState != CamStateSnoozed || FImageCount >= 2)) {
        show();
        FSnoozed = false;
        ViewerCam->UserState = CamStateShown;
    }
    ProgressBar->hide();
    // A still image is kept (archived, beeped) each time; a stream's parts once per interval.
    const bool keep = !StreamPart || !LastStreamKept.isValid() ||
                      LastStreamKept.elapsed() >= 1000LL * std::max(1, ViewerCam->Refresh);
    if (StreamPart && keep)
        LastStreamKept.start();
    const bool decodedOk = !image.Picture.IsEmpty();
    if (decodedOk) {
        // A decode of the previous image under way is of no use any more.
        StopWorker(Decoder);
        ShownBody = image.Body;
        ShownScale = image.Scale;
        TPicture previous = CamImage->SetPicture(std::move(image.Picture), image.SourceSize);
        // A stream's next frame is decoded into the buffer of the picture it replaces (still
        // images are too far apart to keep a second buffer for).
        if (FetchThread && image.Streaming)
            FetchThread->Recycle(std::move(previous));
        Actions->Save()->setEnabled(true);
        // The file is written off the UI thread, after those asked for before.
        if (CamViewer && CamViewer->SaveImages && keep)
            ArchiveImage(ShownBody);
    }
    if (!decodedOk)
        ShowFailure(UndecodedFailure(image.Body, QDateTime::currentDateTime()));
    update();
    if (CamViewer && CamViewer->Beep && keep)
        Beep();
    ++FImageCount;
    // The first picture that decodes gives a new window its size; a body that does not decode
    // has no size to give.
    if (decodedOk && !Sized) {
        Sized = true;
        actSizeExecute(SizeCommand::Full);
    }
    // The picture came at the scale of the area when it was fetched; the area may have grown.
    if (decodedOk) {
        PictureAreaChanged();
        FormResize();
    }
}

void TfoViewer::ArchiveImage(const QByteArray& body)
{
    if (!Archiver) {
        Archiver = std::make_unique<TArchiveQueue>();
        QPointer<TfoViewer> self(this);
        Archiver->OnArchived = [self](int lastId, const QString& failure) {
            if (!self)
                return;
            if (self->ViewerCam && lastId > self->ViewerCam->LastId)
                self->ViewerCam->LastId = lastId;
            // A failure of the archive lasts while archiving is on and no write succeeded.
            self->ShowArchiveFailure(CamViewer && CamViewer->SaveImages ? failure : QString());
        };
    }
    Archiver->Write(
        body, {ViewerCam->Name, CamViewer->SavePath, CamViewer->SubDirectory, ViewerCam->LastId},
        ViewerCam->Url);
}

QSize TfoViewer::DecodeTarget() const
{
    if (!Sized)
        return {};
    return CamImage->size() * CamImage->devicePixelRatioF();
}

void TfoViewer::PictureAreaChanged()
{
    if (Destroyed)
        return;
    const QSize target = DecodeTarget();
    if (FetchThread)
        FetchThread->SetControlSize(target);
    if (ShownBody.isEmpty() || ShownScale == 1)
        return;
    const int scale = ViewerGeometry::DecodeScale(CamImage->SourceSize(), target);
    if (scale >= ShownScale || (Decoder && DecoderScale <= scale))
        return;
    StopWorker(Decoder);
    Decoder = TViewerDecoder::Create(ShownBody, target);
    DecoderScale = scale;
    QPointer<TfoViewer> self(this);
    Decoder->OnImage = [self](TViewerImage& image) {
        if (self)
            self->PictureDecoded(image);
    };
    Decoder->Start();
}

void TfoViewer::PictureDecoded(TViewerImage& image)
{
    Decoder.reset();
    // Only a finer picture of the image still shown replaces it.
    if (image.Body.constData() != ShownBody.constData() || image.Scale >= ShownScale)
        return;
    ShownScale = image.Scale;
    CamImage->SetPicture(std::move(image.Picture), image.SourceSize);
}

// --- Sizes ---------------------------------------------------------------------------------------

QSize TfoViewer::ImageSize() const
{
    return CamImage->SourceSize();
}

bool TfoViewer::StatusShown() const
{
    return Actions->Status()->isChecked();
}

QSize TfoViewer::PictureSize() const
{
    return CamImage->Image().size();
}

QString TfoViewer::SizeCaption() const
{
    return SizeButton->text();
}

QRect TfoViewer::AvailableGeometry() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

QSize TfoViewer::FormCanResize(int newWidth, int newHeight)
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    ResizeContext context;
    context.Image = ImageSize();
    context.Screen = s ? s->size() : QSize(1024, 768);
    context.Proportional = Actions->Proportional()->isChecked();
    context.Resizing = Resizing;
    context.StateNormal = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
    context.StatusShown = StatusShown();
    const ResizeResult result = CanResize({newWidth, newHeight}, context);
    if (result.Record && Sized) {
        ViewerCam->UserWidth = result.Size.width();
        ViewerCam->UserHeight = result.Size.height();
        ViewerCam->UserTop = y();
        ViewerCam->UserLeft = x();
    }
    return result.Size;
}

void TfoViewer::SetClientSize(int width, int height)
{
    const QSize asked = FormCanResize(width, height);
    Resizing = true;
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    // The change itself goes through the rule once more (only the minimum applies now).
    resize(FormCanResize(asked.width(), asked.height()));
    Resizing = false;
    KeepOnScreen();
    LayoutChildren();
    CamImage->update();
    update();
}

QList<QRect> TfoViewer::WorkAreas()
{
    QList<QRect> areas;
    for (const QScreen* s : QGuiApplication::screens())
        areas.append(s->availableGeometry());
    return areas;
}

void TfoViewer::KeepOnScreen()
{
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QRect placed = ViewerGeometry::KeepOnScreen(geometry(), WorkAreas());
    if (placed != geometry()) {
        qCInfo(lcUi) << "viewer" << objectName() << "moved from" << geometry() << "to" << placed
                     << "to lie on a screen";
        Resizing = true;
        setGeometry(placed);
        Resizing = false;
    }
    RecordGeometry();
}

void TfoViewer::RecordGeometry()
{
    // Nothing is recorded before the window has a size of its own (saved or from its first
    // picture): a reopened window would keep the default size instead of taking the picture's.
    if (!Sized || !ViewerCam)
        return;
    const QRect g = geometry();
    ViewerCam->UserLeft = g.x();
    ViewerCam->UserTop = g.y();
    ViewerCam->UserWidth = g.width();
    ViewerCam->UserHeight = g.height();
}

void TfoViewer::ExternalResize()
{
    // Sizes set by the program and by its own edge drag have been through the rule already.
    if (Resizing || Frame->ResizingEdges() || Destroyed)
        return;
    const QSize allowed = FormCanResize(width(), height());
    if (allowed != size()) {
        Resizing = true;
        resize(allowed);
        Resizing = false;
    }
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        RecordGeometry();
}

void TfoViewer::FormResize()
{
    // What is shown, whichever way the size came about: a size command the screen bounded, a
    // drag, a maximised window, a saved size, a new image of another size.
    if (!Destroyed)
        SetSizeCaption(ViewerGeometry::SizeCaption(CamImage->size(), ImageSize(), size()));
}

void TfoViewer::actSizeExecute(SizeCommand command)
{
    const QSize s = SizeCommandClient(command, ImageSize());
    SetClientSize(s.width(), s.height());
}

void TfoViewer::actFullScreenExecute()
{
    Resizing = true;
    setWindowState((windowState() & ~Qt::WindowFullScreen) | Qt::WindowMaximized);
    // Maximising goes through the size rule too: with Resizing on only the minimum applies, and
    // the maximised size is recorded.
    const QRect area = AvailableGeometry();
    FormCanResize(area.width(), area.height());
    // The maximised window covers the work area: its place is recorded with its size, so that a
    // window reopened at this size lies on the screen.
    if (Sized) {
        ViewerCam->UserLeft = area.x();
        ViewerCam->UserTop = area.y();
    }
    Resizing = false;
    FormResize();
}

void TfoViewer::SetSizeCaption(const QString& caption)
{
    // "100% (1920*1080)" is wider than its panel in the larger fonts of some desktops: the button
    // then takes a smaller font, so that no digit is cut off. A caption that fits keeps the
    // window's font.
    const int room = SizeButton->width() - 6;
    QFont f = font();
    if (QFontMetrics(f).horizontalAdvance(caption) <= room || f.pointSizeF() <= 0) {
        SizeButton->setFont(QFont());
    } else {
        while (f.pointSizeF() > 5 && QFontMetrics(f).horizontalAdvance(caption) > room)
            f.setPointSizeF(f.pointSizeF() - 0.5);
        SizeButton->setFont(f);
    }
    SizeButton->setText(caption);
}

void TfoViewer::SizeButtonClick()
{
    Actions->SizePopup()->popup(SizeButton->mapToGlobal(QPoint(0, SizeButton->height())));
}

// --- Window commands ----------------------------------------------------------------------------

void TfoViewer::actAlwaysOnTopExecute()
{
    const bool on = Actions->AlwaysOnTop()->isChecked();
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
    // The program's own dialogs open above the windows on top.
    if (on)
        KeepDialogsAbove();
    // Changing the flags recreates the native window: keep place, size and visibility.
    const QRect g = geometry();
    const bool visible = isVisible();
    Resizing = true;
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    setGeometry(g);
    if (visible)
        show();
    Resizing = false;
    ApplyOpacity();
}

void TfoViewer::actProportionalExecute()
{
    FormResize();
}

void TfoViewer::actStatusExecute()
{
    StatusBar->setVisible(Actions->Status()->isChecked());
    LayoutChildren();
    CamImage->update();
    update();
}

void TfoViewer::actHideExecute()
{
    hide();
    ViewerCam->UserState = CamStateHidden;
    SaveSettings();
}

void TfoViewer::actSnoozeExecute()
{
    FSnoozed = true;
    actHideExecute();
    ViewerCam->UserState = CamStateSnoozed;
    SaveSettings();
}

void TfoViewer::actCloseExecute()
{
    // The window is freed after this command, so this save still lists the webcam; the one in
    // the destructor writes the list without it.
    close();
    SaveSettings();
}

void TfoViewer::ApplyOpacity()
{
    if (Translucent)
        setWindowOpacity(FAlpha / 255.0);
}

void TfoViewer::actAlphaUpExecute()
{
    FAlpha = AlphaStep(FAlpha, 5);
    Translucent = true;
    ApplyOpacity();
    ViewerCam->UserAlpha = FAlpha;
}

void TfoViewer::actAlphaDownExecute()
{
    FAlpha = AlphaStep(FAlpha, -5);
    Translucent = true;
    ApplyOpacity();
    ViewerCam->UserAlpha = FAlpha;
}

bool TfoViewer::SaveImage(const QString& path, QString* error) const
{
    QString reason;
    if (!error)
        error = &reason;
    if (ShownBody.isEmpty() || path.isEmpty()) {
        *error = QStringLiteral("there is no image to save");
        return false;
    }
    if (!SaveViewerImage(ShownBody, path, error)) {
        qCInfo(lcImage) << "the picture could not be saved to" << path << ":" << *error;
        return false;
    }
    return true;
}

void TfoViewer::ShowSaveFailure(const QString& path, const QString& reason)
{
    QString text = SaveImageFailed;
    text.replace(QLatin1String("%path%"), path);
    text.replace(QLatin1String("%reason%"), reason);
    ShowWarningBox(text, QStringLiteral("SaveFailureBox"), this);
}

void TfoViewer::actSaveExecute()
{
    if (ShownBody.isEmpty())
        return;
    // The dialog lives on the heap: the window may be closed while the dialog waits (the tray's
    // Close All), and then it frees the dialog with its other children.
    QPointer<QFileDialog> dialog = new QFileDialog(this);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("jpg"));
    dialog->setNameFilter(JpegFileFilter);
    dialog->setDirectory(SaveFolder());
    QString name = MaskedAddresses(ViewerCam->Name);
    name.replace(QLatin1Char('/'), QLatin1Char(' '));
    dialog->selectFile(name);
    QPointer<TfoViewer> self(this);
    const int result = dialog->exec();
    if (!self || !dialog)
        return;
    const QStringList files = dialog->selectedFiles();
    delete dialog;
    if (result != QDialog::Accepted || files.isEmpty() || ShownBody.isEmpty())
        return;
    // Decoding, encoding and writing happen on a worker; the window may close meanwhile, and then
    // the outcome reaches nobody (it is logged).
    SaveFile(files.constFirst());
}

void TfoViewer::SaveFile(const QString& path)
{
    auto job = TImageSaveJob::Create(ShownBody, path);
    QPointer<TfoViewer> self(this);
    job->OnDone = [self, path](QString& error) {
        if (self && !error.isEmpty())
            self->ShowSaveFailure(path, error);
    };
    if (!job->Start())
        ShowSaveFailure(path, QStringLiteral("no thread to write the file"));
}

QString TfoViewer::SaveFolder()
{
    // The archive folder when there is one, else the user's pictures; never the working folder
    // of the process.
    if (CamViewer && !CamViewer->SavePath.isEmpty() && QFileInfo(CamViewer->SavePath).isDir())
        return CamViewer->SavePath;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void TfoViewer::actSiteExecute()
{
    OpenUrl(SiteAddress(ViewerCam->Homepage));
}

void TfoViewer::actEmailExecute()
{
    // The address alone: an imported webcam's Email never adds headers (attach=, body=) or
    // recipients to the mail.
    const QString link = MailLink(ViewerCam->Email);
    if (link.isEmpty()) {
        qCWarning(lcUi) << "no mail opened: not a plain address:" << ViewerCam->Email.left(80);
        return;
    }
    OpenUrl(link);
}

void TfoViewer::SaveSettings()
{
    // The tray window's save path reports a failure to the user; without it (a viewer on its
    // own) the failure is logged.
    if (ITrayHost* host = TrayHost()) {
        host->SaveOptions();
    } else if (CamViewer && !CamViewer->SaveOptions()) {
        qCInfo(lcSettings) << "the settings could not be saved to" << CamViewer->OptionsPath;
    }
}

// --- Layout, moving and resizing ----------------------------------------------------------------

void TfoViewer::LayoutChildren()
{
    const int w = width();
    const int h = height();
    if (StatusShown()) {
        StatusBar->setGeometry(0, h - StatusBarHeight, w, StatusBarHeight);
        CamImage->setGeometry(0, 0, w, std::max(0, h - StatusBarHeight));
    } else {
        CamImage->setGeometry(0, 0, w, h);
    }
    PictureAreaChanged();
    FormResize();
}

void TfoViewer::resizeEvent(QResizeEvent* event)
{
    TSForm::resizeEvent(event);
    ExternalResize();
    LayoutChildren();
}

void TfoViewer::showEvent(QShowEvent* event)
{
    TSForm::showEvent(event);
    LayoutChildren();
}

void TfoViewer::changeEvent(QEvent* event)
{
    TSForm::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        LayoutChildren();
        update();
    }
}
