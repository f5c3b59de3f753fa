#include "app/FormMain.h"

#include "app/FormAbout.h"
#include "app/FormOptions.h"
#include "app/SiteAddresses.h"
#include "app/TrayMenus.h"
#include "avi/FormAviCreator.h"
#include "base/FormList.h"
#include "base/ProgramIcon.h"
#include "base/Translator.h"
#include "base/Window.h"
#include "core/Log.h"
#include "core/catalog/Catalog.h"
#include "core/catalog/ExchangeFiles.h"
#include "core/catalog/LanguageFile.h"
#include "core/catalog/Product.h"
#include "core/catalog/Settings.h"
#include "core/rules/CamAddress.h"
#include "editor/FormEditCams.h"
#include "platform/Desktop.h"
#include "viewer/FormViewer.h"

// --- Chooser and mosaic ---
#include "mosaic/FormChoose.h"
#include "mosaic/FormMire.h"
// ---

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <exception>

// Resources of the static gui library are registered by name, outside any namespace.
static void initResources()
{
    Q_INIT_RESOURCE(pictavo);
}

TfoCamMain::TfoCamMain(const TStartup& startup, QWidget* parent)
    : TSForm(QStringLiteral("foCamMain"), parent, {}, TListing::Unlisted), Startup(startup)
{
}

TfoCamMain::~TfoCamMain()
{
    ShutDown();
    if (TrayHost() == this)
        SetTrayHost(nullptr);
}

void TfoCamMain::BuildLayout()
{
    initResources();
    setWindowTitle(ProductName);

    CreateActions();
    Menus = new TTrayMenus(this, {.CloseMenu = actCloseMenu,
                                  .AviCreator = actAviCreator,
                                  .Edit = actEdit,
                                  .Mire = actMire,
                                  .Options = actOptions,
                                  .Language = actLanguage,
                                  .Window = actWindow,
                                  .Exit = actExit,
                                  .SiteNorvane = actSiteNorvane,
                                  .SitePictavo = actSitePictavo,
                                  .SiteSupport = actSiteSupport,
                                  .About = actAbout,
                                  .RestoreAll = actRestoreAll,
                                  .HideAll = actHideAll,
                                  .SnoozeAll = actSnoozeAll,
                                  .CloseAll = actCloseAll});
    connect(Menus, &TTrayMenus::WebcamChosen, this, &TfoCamMain::WebcamItemClick);
    connect(Menus, &TTrayMenus::WindowChosen, this, &TfoCamMain::WindowItemClick);
    connect(Menus, &TTrayMenus::LanguageChosen, this, &TfoCamMain::LanguageItemClick);
    connect(Menus, &TTrayMenus::LastViewedOpening, this, &TfoCamMain::Lastviewed1Click);

    // The icon goes into the notification area before the creation handler runs. Where there is no
    // notification area yet, Qt shows the icon as soon as one appears.
    TrayIcon = new QSystemTrayIcon(ProgramIcon(), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setContextMenu(Menus->Popup());
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &TfoCamMain::TrayIconActivated);
    TrayIcon->show();

    // The desktop's quit request would close the viewers one by one, each saving the settings
    // without itself: it runs Exit instead.
    qApp->installEventFilter(this);

    SetTrayHost(this);
}

void TfoCamMain::CreateActions()
{
    // Each action is named after its field. English captions; the language files give the others.
    using T = TfoCamMain;
    struct TActionRow
    {
        QAction* T::*Field;
        const char* Name;
        const char* Caption;
        void (T::*Handler)();
    };
    static constexpr TActionRow rows[] = {
        {&T::actCloseMenu, "actCloseMenu", "&Close this menu", &T::actCloseMenuExecute},
        {&T::actAviCreator, "actAviCreator", "&AVI Creator...", &T::actAviCreatorExecute},
        {&T::actEdit, "actEdit", "Edit List...", &T::actEditExecute},
        {&T::actMire, "actMire", "&Mosaic...", &T::actMireExecute},
        {&T::actOptions, "actOptions", "&Options...", &T::actOptionsExecute},
        {&T::actLanguage, "actLanguage", "&Language", &T::actLanguageExecute},
        {&T::actWindow, "actWindow", "Windows", &T::actWindowExecute},
        {&T::actExit, "actExit", "&Exit", &T::actExitExecute},
        {&T::actSiteNorvane, "actSiteNorvane", "Norvane Home Page", &T::actSiteSupportExecute},
        {&T::actSitePictavo, "actSitePictavo", "Pictavo Home Page", &T::actSiteSupportExecute},
        {&T::actSiteSupport, "actSiteSupport", "Support Home Page", &T::actSiteSupportExecute},
        {&T::actAbout, "actAbout", "About...", &T::actAboutExecute},
        {&T::actRestoreAll, "actRestoreAll", "&Restore All", &T::actRestoreAllExecute},
        {&T::actHideAll, "actHideAll", "&Hide All", &T::actHideAllExecute},
        {&T::actSnoozeAll, "actSnoozeAll", "&Snooze All", &T::actSnoozeAllExecute},
        {&T::actCloseAll, "actCloseAll", "&Close All", &T::actCloseAllExecute},
    };
    for (const TActionRow& row : rows) {
        QAction* action = Named(new QAction(QString::fromLatin1(row.Caption), this), row.Name);
        connect(action, &QAction::triggered, this, row.Handler);
        this->*row.Field = action;
    }

    ShowSiteHints();
}

void TfoCamMain::ShowSiteHints()
{
    // Each site action shows the address it opens, whatever hint a language file gave it.
    actSiteNorvane->setToolTip(ReadableAddress(MakerAddress()));
    actSitePictavo->setToolTip(ReadableAddress(ProductAddress()));
    actSiteSupport->setToolTip(ReadableAddress(SupportAddress()));
}

void TfoCamMain::FormCreate()
{
    // 1. The controller, with the roads back to this window.
    CamViewer = new TCamViewer;
    CamViewer->OnOpenViewer = [this](TCamWebcam* webcam, bool applySavedState) {
        OpenViewer(webcam, applySavedState);
    };
    CamViewer->OnOpenViewers = &TfoViewer::OpenWebcams;
    // 2. Settings and catalogue; reopens the viewers that were open at the last save.
    CamViewer->LoadOptions();
    // 3. The message variables that language files address.
    RegisterMessageVariables(Variables);
    Variables.RegisterVariable(QStringLiteral("More"), &More);
    Variables.RegisterVariable(QStringLiteral("SaveFailed"), &SaveFailed);
    // 4. The saved language, 5. the Language sub-menu.
    PvTranslator().SetVariables(this, &Variables);
    const QString language = ApplySavedLanguage();
    ShowSiteHints();
    Menus->FillLanguages(LanguageFiles(LanguageFolders()), language);
    // 6. The catalogue in the menu.
    RebuildTrayMenu();
    // A settings file that could not be read whole: the user learns once where it is kept.
    if (!CamViewer->RefusedReason.isEmpty())
        ReportRefusedOptions();
    const bool emptyCatalogue =
        CamViewer->Root.Webcams.Count() == 0 && CamViewer->Root.Categories.Count() == 0;
    // 7. The first-launch notice, until the settings have been saved once. With nothing in the
    // menu to pick, the chooser offers the ways in instead (below).
    if (CamViewer->FirstLaunch && TrayIcon->supportsMessages() &&
        !(emptyCatalogue && Startup.ChooserWhenEmpty))
        TrayIcon->showMessage(StartTitle + ProductName, StartText, QSystemTrayIcon::NoIcon, 5000);
    // 8. The hint.
    TrayIcon->setToolTip(ProductTitle);
    // 9. File types; a failure is reported and the start goes on.
    if (Startup.RegisterTypes)
        RegisterFileTypes();
    // 10. A file named on the command line.
    if (!Startup.Arguments.isEmpty())
        ImportFile(Startup.Arguments.first());
    // Without a notification area, the chooser is how the program is reached; with an empty
    // catalogue, it shows the ways to a first webcam.
    const bool stillEmpty =
        CamViewer->Root.Webcams.Count() == 0 && CamViewer->Root.Categories.Count() == 0;
    if ((Startup.ChooserWithoutTray && !QSystemTrayIcon::isSystemTrayAvailable()) ||
        (Startup.ChooserWhenEmpty && stillEmpty))
        OpenChooser();
}

void TfoCamMain::RegisterFileTypes()
{
    // An installed program has its desktop entry and file types under the prefix; a user entry
    // of the same types would only hide or double them.
    if (const QString installed = InstalledDesktopEntry(); !installed.isEmpty()) {
        qCInfo(lcSettings) << "file types left to the installed desktop entry" << installed;
        return;
    }
    const QString error = ::RegisterFileTypes(QCoreApplication::applicationFilePath());
    if (error.isEmpty())
        return;
    qCInfo(lcSettings) << "file types not registered:" << error;
    // Not modal: the start (and the import of a file named on the command line) goes on.
    auto* box = new QMessageBox(QMessageBox::Warning, ProductName, error, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void TfoCamMain::WMCopyData(const QString& path)
{
    // A second start without a file: the user looks for the program, as after a launcher click.
    if (path.isEmpty()) {
        OpenChooser();
        if (QWidget* chooser = ChooserWindow.Window()) {
            chooser->showNormal();
            chooser->raise();
            chooser->activateWindow();
        }
        return;
    }
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("cam") && suffix != QLatin1String("cal")) {
        qCInfo(lcUi) << "handed-over file of another type left alone:" << path;
        return;
    }
    ImportFile(path);
}

void TfoCamMain::ImportList(const QString& path)
{
    ImportFile(path);
}

void TfoCamMain::ImportFile(const QString& path)
{
    if (!CamViewer)
        return;
    TImportCallbacks callbacks;
    callbacks.RebuildTrayMenu = [this](bool refreshChooser) { RebuildTrayMenu(refreshChooser); };
    callbacks.OpenViewer = [this](TCamWebcam* webcam, bool applySavedState) {
        OpenViewer(webcam, applySavedState);
    };
    TImportReport report;
    const TImportResult result =
        TCamExchange::ImportFile(path, CamViewer->Root, callbacks, &report);
    const QString shownPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (result == TImportResult::Nothing || result == TImportResult::Refused) {
        QString text = ImportRefused;
        text.replace(QLatin1String("%path%"), shownPath);
        text.replace(QLatin1String("%reason%"), report.Reason);
        ShowWarning(text, QStringLiteral("ImportRefusedBox"));
        return;
    }
    // The catalogue changed: it reaches Options.xml now, not at the next unrelated save.
    SaveOptions();
    QString text = ImportDone;
    text.replace(QLatin1String("%path%"), shownPath);
    text.replace(QLatin1String("%count%"), QString::number(report.Added));
    text.replace(QLatin1String("%where%"), report.Where.isEmpty() ? EmptyCat : report.Where);
    if (report.AlreadyIn > 0) {
        QString already = ImportAlreadyIn;
        text += already.replace(QLatin1String("%count%"), QString::number(report.AlreadyIn));
    }
    ShowInformation(text, QStringLiteral("ImportDoneBox"));
}

void TfoCamMain::ReportRefusedOptions()
{
    QString text = CamViewer->SavesHeld() ? OptionsLeftAlone : OptionsKeptAside;
    text.replace(QLatin1String("%path%"), QDir::toNativeSeparators(CamViewer->OptionsPath));
    text.replace(QLatin1String("%copy%"), QDir::toNativeSeparators(CamViewer->RefusedCopy));
    text.replace(QLatin1String("%reason%"), CamViewer->RefusedReason);
    ShowWarning(text, QStringLiteral("RefusedOptionsBox"));
}

void TfoCamMain::ShutDown()
{
    if (ShutDownDone)
        return;
    ShutDownDone = true;
    // Windows destroyed now do not save the settings again; each viewer lets go of its thread.
    TFormList::SetShuttingDown(true);
    const QList<QPointer<QWidget>> windows(TFormList::Windows().cbegin(),
                                           TFormList::Windows().cend());
    for (const QPointer<QWidget>& window : windows) {
        if (!window)
            continue;
        TFormList::Remove(window);
        delete window.data();
    }
    if (TrayIcon)
        TrayIcon->hide();
    delete CamViewer;
    CamViewer = nullptr;
    TFormList::SetShuttingDown(false);
}

// --- The catalogue region and the viewers ---------------------------------------------------

void TfoCamMain::RebuildTrayMenu(bool refreshChooser)
{
    if (CamViewer) {
        // An edited webcam's open viewer takes its new name before the Windows entries are made.
        TfoViewer::CatalogueChanged(CamViewer->Root);
        Menus->RebuildCatalogue(CamViewer->Root, More);
    }
    // An open chooser reloads its tree.
    if (refreshChooser)
        ReloadChooser();
}

void TfoCamMain::WebcamItemClick(const QString& url)
{
    OpenViewer(url, false);
}

void TfoCamMain::OpenViewer(const QString& url, bool applySavedState)
{
    // The catalogue may have changed since the caller read the Url: only a webcam that is still
    // in it is opened.
    TCamWebcam* webcam = CamViewer ? CamViewer->Root.FindWebcam(url) : nullptr;
    if (!webcam) {
        qCInfo(lcUi) << "no webcam in the catalogue at" << MaskedAddress(url);
        return;
    }
    OpenViewer(webcam, applySavedState);
}

void TfoCamMain::OpenViewer(TCamWebcam* webcam, bool applySavedState)
{
    if (!webcam || !CamViewer)
        return;
    CamViewer->AddLastUsed(*webcam);
    for (TfoViewer* viewer : TfoViewer::Viewers()) {
        if (viewer->Webcam().Url == webcam->Url) {
            // Already open: shown again, and nothing is saved.
            viewer->ShowAgain();
            return;
        }
    }
    auto* viewer = CreateForm<TfoViewer>();
    viewer->SetupWebcam(*webcam, applySavedState);
    SaveOptions();
}

bool TfoCamMain::SaveOptions()
{
    if (!CamViewer)
        return false;
    if (SaveBatch > 0) {
        SavePending = true;
        return true;
    }
    if (CamViewer->SaveOptions()) {
        SaveFailureReported = false;
        return true;
    }
    // The user was told at start that nothing is saved over the refused settings file.
    if (CamViewer->SavesHeld())
        return false;
    qCInfo(lcSettings) << "the settings could not be saved to" << CamViewer->OptionsPath;
    if (!SaveFailureReported) {
        SaveFailureReported = true;
        ReportSaveFailure();
    }
    return false;
}

void TfoCamMain::ReportSaveFailure()
{
    QString text = SaveFailed;
    text.replace(QLatin1String("%path%"), QDir::toNativeSeparators(CamViewer->OptionsPath));
    ShowWarning(text, QStringLiteral("SaveFailureBox"));
}

void TfoCamMain::ShowWarning(const QString& text, const QString& boxName)
{
    ShowMessage(text, boxName, true);
}

void TfoCamMain::ShowInformation(const QString& text, const QString& boxName)
{
    ShowMessage(text, boxName, false);
}

void TfoCamMain::ShowMessage(const QString& text, const QString& boxName, bool warning)
{
    qCInfo(lcUi) << "told the user:" << text;
    if (TrayIcon && TrayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable() &&
        TrayIcon->supportsMessages()) {
        TrayIcon->showMessage(ProductName, text,
                              warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
                              10000);
        return;
    }
    // Not modal: a save happens inside commands that must not wait for the user.
    auto* box = new QMessageBox(warning ? QMessageBox::Warning : QMessageBox::Information,
                                ProductName, text, QMessageBox::Ok);
    box->setObjectName(boxName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

template <typename Command> void TfoCamMain::OverAllViewers(Command command)
{
    ++SaveBatch;
    // Guarded: a command may close some of them.
    QList<QPointer<TfoViewer>> viewers;
    for (TfoViewer* viewer : TfoViewer::Viewers())
        viewers.append(viewer);
    for (const QPointer<TfoViewer>& viewer : viewers)
        if (viewer)
            command(viewer.data());
    if (--SaveBatch == 0 && SavePending) {
        SavePending = false;
        SaveOptions();
    }
}

// --- Sub-menus rebuilt as they open -----------------------------------------------------------

void TfoCamMain::Lastviewed1Click()
{
    QList<const TCamWebcam*> webcams;
    if (CamViewer)
        for (int i = 0; i < CamViewer->LastUsedCount(); ++i)
            if (const TCamWebcam* webcam = CamViewer->LastUsedWebcam(i))
                webcams.append(webcam);
    Menus->FillLastViewed(webcams);
}

void TfoCamMain::actWindowExecute()
{
    Menus->FillWindows(TFormList::Windows());
}

void TfoCamMain::WindowItemClick(int position)
{
    const QList<QWidget*>& windows = TFormList::Windows();
    if (position < 0 || position >= windows.size())
        return;
    QWidget* window = windows[position];
    if (auto* viewer = qobject_cast<TfoViewer*>(window)) {
        viewer->RestoreWindow();
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

// --- Commands over all viewers ----------------------------------------------------------------

void TfoCamMain::actRestoreAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->RestoreWindow(); });
}

void TfoCamMain::actHideAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->actHideExecute(); });
}

void TfoCamMain::actSnoozeAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->actSnoozeExecute(); });
}

void TfoCamMain::actCloseAllExecute()
{
    OverAllViewers([](TfoViewer* viewer) { viewer->actCloseExecute(); });
}

// --- Other commands ---------------------------------------------------------------------------

void TfoCamMain::actExitExecute()
{
    SaveOptions();
    // From here on no window saves the settings again. exit(), unlike quit(), does not close the
    // windows first: closing viewers would save and drop themselves from OpenedCams.
    TFormList::SetShuttingDown(true);
    QCoreApplication::exit(0);
}

bool TfoCamMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == qApp && event->type() == QEvent::Quit) {
        actExitExecute();
        return true;
    }
    return TSForm::eventFilter(watched, event);
}

void TfoCamMain::actCloseMenuExecute() {}

void TfoCamMain::actLanguageExecute() {}

// --- Language, options and about box ----------------------------------------------------------

QString TfoCamMain::ApplySavedLanguage()
{
    // A value copied from another installation names its file in our language folders.
    const QString path =
        CamViewer ? ResolveLanguageFile(CamViewer->Language, LanguageFolders()) : QString();
    if (!path.isEmpty() && QFileInfo(path).isFile() && PvTranslator().Translate(path))
        return path;
    return QString();
}

void TfoCamMain::LanguageItemClick(const QString& path)
{
    if (!PvTranslator().Translate(path)) {
        // The mark stays on the language that is shown.
        Menus->MarkLanguage(CamViewer ? ResolveLanguageFile(CamViewer->Language, LanguageFolders())
                                      : QString());
        return;
    }
    Menus->MarkLanguage(path);
    ShowSiteHints();
    // Stored in memory; it reaches Options.xml at the next save.
    if (CamViewer)
        CamViewer->Language = path;
    // The tray's sub-menus are made again with the new language's texts ("More"); the chooser
    // makes its captions and hover texts afresh from the message texts and the default locale.
    RebuildTrayMenu(false);
}

void TfoCamMain::actOptionsExecute()
{
    OptionsDialog.Open([this] {
        auto* options = CreateForm<TfoOptions>();
        options->OnStored = [this] { SaveOptions(); };
        options->LoadControls();
        return options;
    });
}

void TfoCamMain::actAboutExecute()
{
    CreateForm<TfoAbout>()->show();
}

void TfoCamMain::actEditExecute()
{
    OpenEditor();
}

TfoEditCams* TfoCamMain::OpenEditor()
{
    // A failure while filling or showing the editor leaves the program as it was.
    try {
        return EditorWindow.Open([] {
            auto* editor = CreateForm<TfoEditCams>();
            editor->LoadTree();
            return editor;
        });
    } catch (const std::exception& e) {
        qCInfo(lcUi) << "the catalogue editor could not be opened:" << e.what();
    } catch (...) {
        qCInfo(lcUi) << "the catalogue editor could not be opened";
    }
    return nullptr;
}

void TfoCamMain::AddWebcam()
{
    if (TfoEditCams* editor = OpenEditor())
        editor->AddCamButtonClick();
}

void TfoCamMain::CloseViewers(const QStringList& urls)
{
    // Guarded: closing one viewer may close or save others.
    QList<QPointer<TfoViewer>> viewers;
    for (TfoViewer* viewer : TfoViewer::Viewers())
        if (urls.contains(viewer->Webcam().Url) &&
            !(CamViewer && CamViewer->Root.FindWebcam(viewer->Webcam().Url)))
            viewers.append(viewer);
    for (const QPointer<TfoViewer>& viewer : viewers)
        if (viewer)
            viewer->actCloseExecute();
}

void TfoCamMain::EditList()
{
    actEdit->trigger();
}

void TfoCamMain::EditWebcam(const QString& url)
{
    if (TfoEditCams* editor = OpenEditor())
        editor->SelectWebcam(url);
}

void TfoCamMain::actMireExecute()
{
    OpenMosaic();
}

// AVI creator: a new, non-modal window each time; several may be open.
void TfoCamMain::actAviCreatorExecute()
{
    CreateForm<TfoAviCreator>()->show();
}

void TfoCamMain::actSiteSupportExecute()
{
    // The address is the program's own: the hint only shows it, and a language file may change
    // the hint.
    const QObject* action = sender();
    if (action == actSiteNorvane)
        OpenUrl(MakerAddress());
    else if (action == actSitePictavo)
        OpenUrl(ProductAddress());
    else
        OpenUrl(SupportAddress());
}

void TfoCamMain::TrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        TrayIconClick();
        break;
    case QSystemTrayIcon::DoubleClick:
        actCloseMenu->trigger();
        break;
    default:
        break;
    }
}

void TfoCamMain::TrayIconClick()
{
    OpenChooser();
}

// --- Chooser and mosaic -----------------------------------------------------------------------

void TfoCamMain::OpenChooser()
{
    ChooserWindow.Open([this] {
        auto* chooser = CreateForm<TfoChoose>();
        // Without a notification area the tray menu's commands are reached from the chooser.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            Menus->Popup()->setTitle(ProductName);
            chooser->SetMainMenu(Menus->Popup());
        }
        // Without a notification area the chooser is the program's only window: closing it ends
        // the program, which would otherwise run on unseen.
        connect(chooser, &QObject::destroyed, this, [this] {
            if (!TFormList::ShuttingDown() && !QSystemTrayIcon::isSystemTrayAvailable())
                actExitExecute();
        });
        return chooser;
    });
}

void TfoCamMain::OpenMosaic()
{
    MosaicWindow.Open([] { return CreateForm<TfoMire>(); });
}

void TfoCamMain::ReloadChooser()
{
    if (auto* chooser = qobject_cast<TfoChoose*>(ChooserWindow.Window()))
        chooser->ReloadTree();
}
