#include "viewer/FormViewer.h"

#include "base/ActionLink.h"
#include "base/TrayHost.h"
#include "core/Log.h"
#include "core/catalog/ClassCategories.h"
#include "core/catalog/ClassViewer.h"
#include "core/catalog/Strings.h"
#include "core/image/ClassArchive.h"
#include "core/image/JpegCodec.h"
#include "core/net/ClassHttp.h"
#include "core/rules/ViewerGeometry.h"
#include "platform/Desktop.h"
#include "viewer/PvImage.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>
#include <QWindow>
#include <chrono>
#include <climits>

using namespace ViewerGeometry;

namespace {
// Width of the status bar's panels; the last one takes the remaining width.
constexpr int PanelWidth0 = 100;
constexpr int PanelWidth1 = 100;
constexpr int PanelWidth2 = 34;

std::chrono::milliseconds tickLength{1000};

// The viewer's background around the zoomed picture: a plain desktop colour.
const QColor DesktopColour(58, 110, 165);

// The pictures of the two status-bar buttons, drawn rather than shipped.
QIcon siteIcon()
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 70, 150), 1.2));
    p.setBrush(QColor(120, 170, 230));
    p.drawEllipse(QRectF(1.5, 1.5, 11, 11));
    p.drawLine(QPointF(1.5, 7), QPointF(12.5, 7));
    p.drawEllipse(QRectF(4.5, 1.5, 5, 11));
    return QIcon(pm);
}

QIcon mailIcon()
{
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(QColor(90, 70, 20), 1));
    p.setBrush(QColor(250, 235, 170));
    p.drawRect(QRect(1, 3, 12, 8));
    p.drawLine(QPoint(1, 3), QPoint(7, 8));
    p.drawLine(QPoint(13, 3), QPoint(7, 8));
    return QIcon(pm);
}

// The interval items: name, caption, key, value, whether the item takes the radio mark.
struct IntervalItem
{
    const char* Name;
    const char* Caption;
    QKeySequence Key;
    int Value;
    bool Marks;
};
} // namespace

TfoViewer::TfoViewer(QWidget* parent)
    : TSForm(QStringLiteral("foViewer"), parent, Qt::FramelessWindowHint | Qt::Tool)
{
    FormCreate();
}

TfoViewer::~TfoViewer()
{
    FormDestroy();
}

void TfoViewer::FormCreate()
{
    ViewerCam = std::make_unique<TCamWebcam>();
    setAttribute(Qt::WA_DeleteOnClose);
    resize(308, 253);
    setMinimumSize(MinimumSize, MinimumSize);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, DesktopColour);
    setPalette(pal);
    setAutoFillBackground(true);
    Resizing = false;

    CamImage = new TPvImage(this);
    CamImage->setObjectName(QStringLiteral("CamImage"));
    CamImage->SetAutoZoom(true);
    CamImage->setMouseTracking(true);
    CamImage->installEventFilter(this);
    CamImage->setContextMenuPolicy(Qt::NoContextMenu);

    CreateStatusBar();
    CreateActions();

    // The context menu opens over the picture and the window alike.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(mapToGlobal(pos)); });

    if (CamViewer) {
        if (CamViewer->AlwaysOnTop)
            actAlwaysOnTop->trigger();
        if (CamViewer->PropResize)
            actProportional->trigger();
        if (!CamViewer->Status)
            actStatus->trigger();
    }
    LayoutChildren();
    update();
}

void TfoViewer::CreateStatusBar()
{
    StatusBar = new QWidget(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(StatusBarHeight);
    StatusBar->setAutoFillBackground(true);
    // The bar keeps the usual window colour; only the picture's surroundings take the desktop's.
    QPalette barPalette = StatusBar->palette();
    barPalette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    StatusBar->setPalette(barPalette);
    StatusBar->setMouseTracking(true);
    StatusBar->installEventFilter(this);

    auto panel = [this](const char* name) {
        auto* label = new QLabel(StatusBar);
        label->setObjectName(QString::fromLatin1(name));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(2);
        label->setMouseTracking(true);
        return label;
    };
    Panel0 = panel("Panel0");
    auto* panel1 = panel("Panel1");
    auto* panel2 = panel("Panel2");
    Panel3 = panel("Panel3");
    Panel0->setGeometry(0, 0, PanelWidth0, StatusBarHeight);
    panel1->setGeometry(PanelWidth0, 0, PanelWidth1, StatusBarHeight);
    panel2->setGeometry(PanelWidth0 + PanelWidth1, 0, PanelWidth2, StatusBarHeight);

    ProgressBar = new QProgressBar(StatusBar);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->setGeometry(Panel0->geometry().adjusted(1, 1, -1, -1));
    ProgressBar->hide();

    SizeButton = new QToolButton(StatusBar);
    SizeButton->setObjectName(QStringLiteral("SizeButton"));
    SizeButton->setAutoRaise(true);
    SizeButton->setText(QStringLiteral("320*200"));
    SizeButton->setGeometry(panel1->geometry().adjusted(1, 1, -1, -1));
    SizeButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SizeButton, &QToolButton::clicked, this, &TfoViewer::SizeButtonClick);
    connect(SizeButton, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { SizePopup->popup(SizeButton->mapToGlobal(pos)); });

    SpeedButton1 = new QToolButton(StatusBar);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setGeometry(PanelWidth0 + PanelWidth1 + 1, 1, 16, StatusBarHeight - 2);
    SpeedButton2 = new QToolButton(StatusBar);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setGeometry(PanelWidth0 + PanelWidth1 + 17, 1, 16, StatusBarHeight - 2);
}

QAction* TfoViewer::AddAction(const QString& name, const QString& caption, const QKeySequence& key)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (!key.isEmpty())
        action->setShortcut(key);
    // Added to the window so that the shortcuts work while the menu is closed.
    addAction(action);
    return action;
}

void TfoViewer::CreateActions()
{
    const auto ctrl = Qt::CTRL;
    const auto shift = Qt::SHIFT;
    const auto alt = Qt::ALT;

    // The commands carry their own names; the context menu's items (actHide1 runs actHide) are
    // linked to them, so a language file may translate either.
    actHide = AddAction(QStringLiteral("actHide"), tr("&Hide"), QKeySequence(Qt::Key_Escape));
    actSnooze =
        AddAction(QStringLiteral("actSnooze"), tr("&Snooze"), QKeySequence(shift | Qt::Key_Escape));
    actRefresh = AddAction(QStringLiteral("actRefresh"), tr("&Refresh"), QKeySequence(Qt::Key_F5));
    actStopRefresh = AddAction(QStringLiteral("actStopRefresh"), tr("&Stop Refreshing"),
                               QKeySequence(ctrl | Qt::Key_Escape));
    actAlwaysOnTop = AddAction(QStringLiteral("actAlwaysOnTop"), tr("&Always on Top"),
                               QKeySequence(ctrl | Qt::Key_T));
    actAlwaysOnTop->setCheckable(true);
    actProportional = AddAction(QStringLiteral("actProportional"), tr("Proportional Resize"),
                                QKeySequence(ctrl | Qt::Key_R));
    actProportional->setCheckable(true);
    actStatus =
        AddAction(QStringLiteral("actStatus"), tr("Show Status"), QKeySequence(ctrl | Qt::Key_U));
    actStatus->setCheckable(true);
    actStatus->setChecked(true);
    actClose = AddAction(QStringLiteral("actClose"), tr("&Close"), QKeySequence(ctrl | Qt::Key_F4));

    connect(actHide, &QAction::triggered, this, &TfoViewer::actHideExecute);
    connect(actSnooze, &QAction::triggered, this, &TfoViewer::actSnoozeExecute);
    connect(actRefresh, &QAction::triggered, this, &TfoViewer::actRefreshExecute);
    connect(actStopRefresh, &QAction::triggered, this, &TfoViewer::actStopRefreshExecute);
    connect(actAlwaysOnTop, &QAction::triggered, this, &TfoViewer::actAlwaysOnTopExecute);
    connect(actProportional, &QAction::triggered, this, &TfoViewer::actProportionalExecute);
    connect(actStatus, &QAction::triggered, this, &TfoViewer::actStatusExecute);
    connect(actClose, &QAction::triggered, this, &TfoViewer::actCloseExecute);

    // Size commands, shared by the Size sub-menu and the size button's menu.
    struct SizeItem
    {
        const char* Name;
        const char* Caption;
        QKeySequence Key;
        void (TfoViewer::*Slot)();
    };
    const SizeItem sizeItems[] = {
        {"act300x200", "300*200", QKeySequence(shift | ctrl | Qt::Key_4),
         &TfoViewer::act300x200Execute},
        {"act600x400", "600*400", QKeySequence(shift | ctrl | Qt::Key_5),
         &TfoViewer::act600x400Execute},
        {"act50", "50%", QKeySequence(shift | ctrl | Qt::Key_0), &TfoViewer::act50Execute},
        {"act100", "100%", QKeySequence(shift | ctrl | Qt::Key_1), &TfoViewer::act100Execute},
        {"act150", "150%", QKeySequence(shift | ctrl | Qt::Key_2), &TfoViewer::act150Execute},
        {"act200", "200%", QKeySequence(shift | ctrl | Qt::Key_3), &TfoViewer::act200Execute},
        {"actFullScreen", "FullScreen", QKeySequence(ctrl | Qt::Key_F),
         &TfoViewer::actFullScreenExecute},
    };
    SizePopup = new QMenu(this);
    SizePopup->setObjectName(QStringLiteral("SizePopup"));
    QList<QAction*> sizeActions;
    for (const SizeItem& item : sizeItems) {
        QAction* a =
            AddAction(QString::fromLatin1(item.Name), QString::fromLatin1(item.Caption), item.Key);
        connect(a, &QAction::triggered, this, item.Slot);
        sizeActions.append(a);
    }
    auto fillSizeMenu = [&](QMenu* menu) {
        menu->addAction(sizeActions[0]);
        menu->addAction(sizeActions[1]);
        menu->addSeparator();
        for (int i = 2; i < 6; ++i)
            menu->addAction(sizeActions[i]);
        menu->addSeparator();
        menu->addAction(sizeActions[6]);
    };
    fillSizeMenu(SizePopup);

    // Commands without a menu item.
    QAction* actSave =
        AddAction(QStringLiteral("actSave"), tr("Save"), QKeySequence(ctrl | Qt::Key_S));
    QAction* actAlphaUp =
        AddAction(QStringLiteral("actAlphaUp"), tr("Opacity Up"), QKeySequence(ctrl | Qt::Key_Up));
    QAction* actAlphaDown = AddAction(QStringLiteral("actAlphaDown"), tr("Opacity Down"),
                                      QKeySequence(ctrl | Qt::Key_Down));
    actSite = AddAction(QStringLiteral("actSite"), tr("Surf to Website"), {});
    actEmail = AddAction(QStringLiteral("actEmail"), tr("Send Email"), {});
    actSite->setIcon(siteIcon());
    actEmail->setIcon(mailIcon());
    actSite->setEnabled(false);
    actEmail->setEnabled(false);
    connect(actSave, &QAction::triggered, this, &TfoViewer::actSaveExecute);
    connect(actAlphaUp, &QAction::triggered, this, &TfoViewer::actAlphaUpExecute);
    connect(actAlphaDown, &QAction::triggered, this, &TfoViewer::actAlphaDownExecute);
    connect(actSite, &QAction::triggered, this, &TfoViewer::actSiteExecute);
    connect(actEmail, &QAction::triggered, this, &TfoViewer::actEmailExecute);
    SpeedButton1->setDefaultAction(actSite);
    SpeedButton2->setDefaultAction(actEmail);

    // The context menu.
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    AddLinkedItem(PopupMenu, "actHide1", actHide);
    AddLinkedItem(PopupMenu, "actSnooze1", actSnooze);
    PopupMenu->addSeparator();
    AddLinkedItem(PopupMenu, "Refresh1", actRefresh);
    AddLinkedItem(PopupMenu, "StopRefreshing1", actStopRefresh);

    QMenu* intervalMenu = PopupMenu->addMenu(tr("Refresh Inteval"));
    intervalMenu->setObjectName(QStringLiteral("RefreshInteval1"));
    intervalMenu->menuAction()->setObjectName(QStringLiteral("RefreshInteval1"));
    RefreshGroup = new QActionGroup(this);
    RefreshGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const IntervalItem intervalItems[] = {
        {"N1second1", "1 second", QKeySequence(ctrl | alt | Qt::Key_1), 1, false},
        {"N2seconds1", "2 seconds", QKeySequence(ctrl | alt | Qt::Key_2), 2, true},
        {"N5seconds1", "5 seconds", QKeySequence(ctrl | alt | Qt::Key_3), 5, true},
        {"N10seconds1", "10 seconds", QKeySequence(ctrl | alt | Qt::Key_4), 10, true},
        {"N20seconds1", "20 seconds", QKeySequence(ctrl | alt | Qt::Key_5), 20, true},
        {"N60seconds1", "60 seconds", QKeySequence(ctrl | alt | Qt::Key_6), 60, true},
        {nullptr, nullptr, {}, 0, false},
        {"Alwaysrefresh1", "Always refresh", QKeySequence(ctrl | alt | Qt::Key_9), 0, true},
        {"BruteRefresh1", "&Brute Refresh", QKeySequence(ctrl | alt | Qt::Key_0), -1, false},
    };
    for (const IntervalItem& item : intervalItems) {
        if (!item.Name) {
            intervalMenu->addSeparator();
            continue;
        }
        QAction* a =
            AddAction(QString::fromLatin1(item.Name), QString::fromLatin1(item.Caption), item.Key);
        a->setProperty("Interval", item.Value);
        // Items that do not take the mark leave the current mark where it is.
        a->setCheckable(item.Marks);
        RefreshGroup->addAction(a);
        intervalMenu->addAction(a);
        const int value = item.Value;
        connect(a, &QAction::triggered, this, [this, value] { actRefresh0Execute(value); });
    }
    QAction* custom = AddAction(QStringLiteral("Custom1"), tr("&Custom..."),
                                QKeySequence(ctrl | alt | Qt::Key_Minus));
    custom->setCheckable(true);
    RefreshGroup->addAction(custom);
    intervalMenu->addAction(custom);
    connect(custom, &QAction::triggered, this, &TfoViewer::actRefreshCustomExecute);

    // The "Size" item only opens its sub-menu.
    QMenu* sizeMenu = PopupMenu->addMenu(tr("Size"));
    sizeMenu->setObjectName(QStringLiteral("Size1"));
    sizeMenu->menuAction()->setObjectName(QStringLiteral("Size1"));
    fillSizeMenu(sizeMenu);

    PopupMenu->addSeparator();
    AddLinkedItem(PopupMenu, "Alwaysontop1", actAlwaysOnTop);
    AddLinkedItem(PopupMenu, "ProportionalResize1", actProportional);
    AddLinkedItem(PopupMenu, "ShowStatus1", actStatus);
    PopupMenu->addSeparator();
    AddLinkedItem(PopupMenu, "Close1", actClose);
}

void TfoViewer::FormDestroy()
{
    if (Destroyed)
        return;
    Destroyed = true;
    // Out of the window list first, so that the save below no longer lists this webcam.
    TSForm::RemoveFromList(this);
    StopFetch(true);
    const bool save = !TSForm::ShuttingDown();
    ViewerCam.reset();
    if (save)
        SaveSettings();
}

void TfoViewer::SetupWebcam(const TCamWebcam& cam, bool applySavedState)
{
    ViewerCam->Assign(cam);
    const QString name = ViewerCam->Name;
    CamImage->setAccessibleName(name);
    setWindowTitle(name);
    Panel3->setText(name);
    actSite->setEnabled(!ViewerCam->Homepage.isEmpty());
    actEmail->setEnabled(!ViewerCam->Email.isEmpty());

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
        const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect sg = s ? s->geometry() : QRect(0, 0, 1024, 768);
        g.moveTopLeft(sg.topLeft() + CenteredPosition(sg.size(), g.size()));
    }
    Resizing = true;
    setGeometry(g);
    Resizing = false;
    // The saved place may be on a screen that is gone, or larger than the screen it is on now.
    KeepOnScreen();

    if (c.UserRefresh >= 0)
        ViewerCam->Refresh = c.UserRefresh;
    if (c.UserAlpha > 0) {
        FAlpha = std::min(c.UserAlpha, 255);
        Translucent = true;
        ApplyOpacity();
    }
    StartFetch();

    show();
    if (applySavedState)
        ApplySavedState();
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
    QList<TfoViewer*> viewers;
    for (TSForm* form : TSForm::Forms())
        if (auto* viewer = qobject_cast<TfoViewer*>(form))
            viewers.append(viewer);
    return viewers;
}

std::vector<TCamWebcam> TfoViewer::OpenWebcams()
{
    std::vector<TCamWebcam> cams;
    const QList<TSForm*>& forms = TSForm::Forms();
    for (auto it = forms.crbegin(); it != forms.crend(); ++it)
        if (auto* viewer = qobject_cast<TfoViewer*>(*it); viewer && viewer->ViewerCam)
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
    // The thread may outlive this window by a moment: the events reach the window through a
    // guarded pointer, and the destructor clears them before the thread is let go.
    QPointer<TfoViewer> self(this);
    thread->OnImage = [self](THttpThread& t) {
        if (self)
            self->ImageArrived(t.Body);
    };
    thread->OnProgress = [self](THttpThread& t) {
        if (self)
            self->ShowProgress(static_cast<int>(std::clamp<qint64>(t.Received, -1, INT_MAX)),
                               static_cast<int>(std::clamp<qint64>(t.ExpectedLength, -1, INT_MAX)));
    };
    thread->OnTick = [self](THttpThread& t) {
        if (self)
            self->ShowCountdown(t.Countdown);
    };
    thread->Url = ViewerCam->Url;
    thread->Referer = ViewerCam->Referer;
    thread->Interval = ViewerCam->Refresh;
    thread->Tick = tickLength;
    thread->Start();
    FetchThread = std::move(thread);
}

void TfoViewer::StopFetch(bool detach)
{
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
    Panel0->clear();
}

void TfoViewer::actRefresh0Execute(int value)
{
    ViewerCam->Refresh = value;
    if (FetchThread)
        FetchThread->Interval = value;
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
    if (!self || !ok)
        return;
    const int value = ParseInterval(text, ViewerCam->Refresh);
    ViewerCam->Refresh = value;
    if (FetchThread)
        FetchThread->Interval = value;
    ViewerCam->UserRefresh = value;
}

// --- Events of the fetch thread -----------------------------------------------------------------

QString TfoViewer::CountdownText() const
{
    return Panel0->text();
}

void TfoViewer::ShowCountdown(int countdown)
{
    Panel0->setText(
        ViewerGeometry::CountdownText(countdown, TimeLeft, TimeLeftOne, TestingRefresh));
}

void TfoViewer::ShowProgress(int received, int contentLength)
{
    Panel0->clear();
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
    if (FSnoozed && (ViewerCam->StartState != CamStateSnoozed || FImageCount >= 2)) {
        show();
        FSnoozed = false;
        ViewerCam->UserState = CamStateShown;
    }
    ProgressBar->hide();
    bool decodedOk = false;
    if (!body.isEmpty()) {
        TBitmap decoded;
        decodedOk = JpegCodec::Decode(body, decoded);
        if (decodedOk) {
            std::swap(CamImage->Bitmap(), decoded);
            CamImage->BitmapChanged();
            if (CamViewer && CamViewer->SaveImages)
                Archive::ArchiveImage(body, ViewerCam->Name, ViewerCam->LastId, CamViewer->SavePath,
                                      CamViewer->SubDirectory);
        } else {
            qCInfo(lcImage) << "viewer" << ViewerCam->Url << "received" << body.size()
                            << "bytes that do not decode as JPEG";
        }
    }
    update();
    if (CamViewer && CamViewer->Beep)
        Beep();
    ++FImageCount;
    // The first picture that decodes gives a new window its size; a body that does not decode
    // has no size to give.
    if (decodedOk && !Sized) {
        Sized = true;
        act100Execute();
    }
}

// --- Sizes ---------------------------------------------------------------------------------------

QSize TfoViewer::ImageSize() const
{
    return {CamImage->Bitmap().Width, CamImage->Bitmap().Height};
}

bool TfoViewer::StatusShown() const
{
    return actStatus->isChecked();
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
    context.Proportional = actProportional->isChecked();
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

void TfoViewer::SetClientSize(int width, int height, const QString& caption)
{
    const QSize asked = FormCanResize(width, height);
    Resizing = true;
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));
    // The change itself goes through the rule once more (only the minimum applies now).
    resize(FormCanResize(asked.width(), asked.height()));
    Resizing = false;
    KeepOnScreen();
    SizeButton->setText(caption);
    LayoutChildren();
    CamImage->update();
    update();
}

void TfoViewer::ApplyResize(const QRect& geometry)
{
    setGeometry(geometry);
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
    if (Resizing || DragEdges != 0 || Destroyed)
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
    if (Resizing)
        return;
    Resizing = true;
    const bool maximised = windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
    const bool dragging = DragEdges != 0 || (QGuiApplication::mouseButtons() & Qt::LeftButton);
    if (!maximised && (dragging || actProportional->isChecked()))
        SizeButton->setText(ViewerGeometry::SizeCaption(CamImage->size(), ImageSize(), size()));
    Resizing = false;
}

namespace {
QString captionOf(const QObject* parent, const char* name)
{
    const auto* action = parent->findChild<QAction*>(QString::fromLatin1(name));
    return action ? action->text() : QString();
}
} // namespace

void TfoViewer::act300x200Execute()
{
    const QSize s = SizeCommandClient(SizeCommand::S300x200, ImageSize());
    SetClientSize(s.width(), s.height(), captionOf(this, "act300x200"));
}

void TfoViewer::act600x400Execute()
{
    const QSize s = SizeCommandClient(SizeCommand::S600x400, ImageSize());
    SetClientSize(s.width(), s.height(), captionOf(this, "act600x400"));
}

void TfoViewer::act50Execute()
{
    const QSize s = SizeCommandClient(SizeCommand::Half, ImageSize());
    SetClientSize(s.width(), s.height(), captionOf(this, "act50"));
}

void TfoViewer::act100Execute()
{
    const QSize s = SizeCommandClient(SizeCommand::Full, ImageSize());
    SetClientSize(s.width(), s.height(), captionOf(this, "act100"));
}

void TfoViewer::act150Execute()
{
    const QSize s = SizeCommandClient(SizeCommand::OneAndHalf, ImageSize());
    SetClientSize(s.width(), s.height(), captionOf(this, "act150"));
}

void TfoViewer::act200Execute()
{
    const QSize s = SizeCommandClient(SizeCommand::Double, ImageSize());
    SetClientSize(s.width(), s.height(), captionOf(this, "act200"));
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
    SizeButton->setText(captionOf(this, "actFullScreen"));
    Resizing = false;
}

void TfoViewer::SizeButtonClick()
{
    SizePopup->popup(SizeButton->mapToGlobal(QPoint(0, SizeButton->height())));
}

// --- Window commands ----------------------------------------------------------------------------

void TfoViewer::actAlwaysOnTopExecute()
{
    const bool on = actAlwaysOnTop->isChecked();
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
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
    StatusBar->setVisible(actStatus->isChecked());
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

bool TfoViewer::SaveImage(const QString& path) const
{
    const TBitmap& bitmap = CamImage->Bitmap();
    if (bitmap.IsEmpty() || path.isEmpty())
        return false;
    const QByteArray jpeg = JpegCodec::Encode(bitmap, 90);
    if (jpeg.isEmpty()) {
        qCInfo(lcImage) << "the picture could not be encoded for" << path;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit()) {
        qCInfo(lcImage) << "the picture could not be saved to" << path << ":" << file.errorString();
        return false;
    }
    return true;
}

void TfoViewer::actSaveExecute()
{
    // The dialog lives on the heap: the window may be closed while the dialog waits (the tray's
    // Close All), and then it frees the dialog with its other children.
    QPointer<QFileDialog> dialog = new QFileDialog(this);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("jpg"));
    dialog->setNameFilter(QStringLiteral("JPEG File (*.jpg)"));
    dialog->setDirectory(SaveFolder());
    QString name = ViewerCam->Name;
    name.replace(QLatin1Char('/'), QLatin1Char(' '));
    dialog->selectFile(name);
    QPointer<TfoViewer> self(this);
    const int result = dialog->exec();
    if (!self || !dialog)
        return;
    const QStringList files = dialog->selectedFiles();
    delete dialog;
    if (result != QDialog::Accepted || files.isEmpty())
        return;
    SaveImage(files.constFirst());
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
    OpenUrl(QStringLiteral("mailto:") + ViewerCam->Email.trimmed());
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
        const int rest = w - PanelWidth0 - PanelWidth1 - PanelWidth2;
        Panel3->setGeometry(PanelWidth0 + PanelWidth1 + PanelWidth2, 0, std::max(0, rest),
                            StatusBarHeight);
    } else {
        CamImage->setGeometry(0, 0, w, h);
    }
}

void TfoViewer::resizeEvent(QResizeEvent* event)
{
    TSForm::resizeEvent(event);
    ExternalResize();
    LayoutChildren();
    FormResize();
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

bool TfoViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* w = qobject_cast<QWidget*>(watched); w && (w == CamImage || w == StatusBar)) {
        if (HandleMouse(w, event))
            return true;
    }
    return TSForm::eventFilter(watched, event);
}

void TfoViewer::mousePressEvent(QMouseEvent* event)
{
    if (!HandleMouse(this, event))
        TSForm::mousePressEvent(event);
}

void TfoViewer::mouseMoveEvent(QMouseEvent* event)
{
    if (!HandleMouse(this, event))
        TSForm::mouseMoveEvent(event);
}

void TfoViewer::mouseReleaseEvent(QMouseEvent* event)
{
    if (!HandleMouse(this, event))
        TSForm::mouseReleaseEvent(event);
}

bool TfoViewer::HandleMouse(QWidget* source, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* me = static_cast<QMouseEvent*>(event);
    const QPoint global = me->globalPosition().toPoint();
    const QPoint local = source->mapTo(this, me->position().toPoint());

    if (type == QEvent::MouseButtonPress) {
        if (me->button() != Qt::LeftButton)
            return false;
        const int edges = EdgesAt(local, size());
        // Inside the picture a press starts a move; on the border a resize.
        if (edges == 0 && source != CamImage)
            return false;
        // Wayland lets no client place its own window: the compositor moves and resizes it.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
            windowHandle()) {
            if (edges == 0) {
                windowHandle()->startSystemMove();
            } else {
                Qt::Edges qtEdges;
                qtEdges.setFlag(Qt::LeftEdge, edges & EdgeLeft);
                qtEdges.setFlag(Qt::TopEdge, edges & EdgeTop);
                qtEdges.setFlag(Qt::RightEdge, edges & EdgeRight);
                qtEdges.setFlag(Qt::BottomEdge, edges & EdgeBottom);
                windowHandle()->startSystemResize(qtEdges);
            }
            return true;
        }
        DragEdges = edges;
        Dragging = true;
        DragStart = global;
        DragFrame = geometry();
        return true;
    }
    if (type == QEvent::MouseMove) {
        if (!Dragging) {
            // The cursor tells where a press would resize.
            const int edges = EdgesAt(local, size());
            Qt::CursorShape shape = Qt::ArrowCursor;
            if ((edges & (EdgeLeft | EdgeTop)) == (EdgeLeft | EdgeTop) ||
                (edges & (EdgeRight | EdgeBottom)) == (EdgeRight | EdgeBottom))
                shape = Qt::SizeFDiagCursor;
            else if ((edges & (EdgeRight | EdgeTop)) == (EdgeRight | EdgeTop) ||
                     (edges & (EdgeLeft | EdgeBottom)) == (EdgeLeft | EdgeBottom))
                shape = Qt::SizeBDiagCursor;
            else if (edges & (EdgeLeft | EdgeRight))
                shape = Qt::SizeHorCursor;
            else if (edges & (EdgeTop | EdgeBottom))
                shape = Qt::SizeVerCursor;
            if (shape == Qt::ArrowCursor)
                source->unsetCursor();
            else
                source->setCursor(shape);
            return false;
        }
        const QPoint delta = global - DragStart;
        if (DragEdges == 0) {
            const QRect moved(DragFrame.topLeft() + delta, DragFrame.size());
            move(MagnetPosition(moved, AvailableGeometry()));
        } else {
            const QRect proposed = ViewerGeometry::DragFrame(DragFrame, DragEdges, delta);
            const QSize allowed = FormCanResize(proposed.width(), proposed.height());
            ApplyResize(AnchorFrame(DragFrame, DragEdges, allowed));
            // The rule recorded the size at the old place; a dragged left or top edge moved it.
            RecordGeometry();
        }
        return true;
    }
    // Release
    if (!Dragging || me->button() != Qt::LeftButton)
        return false;
    Dragging = false;
    DragEdges = 0;
    RecordGeometry();
    return true;
}
