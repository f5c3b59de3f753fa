#pragma once

#include "base/FormSlot.h"
#include "base/TrayHost.h"
#include "base/Window.h"
#include "core/catalog/Strings.h"

#include <QStringList>
#include <QSystemTrayIcon>

class QAction;
class TfoEditCams;
class TfoOptions;
class TTrayMenus;

// How the program was started.
struct TStartup
{
    // The command-line arguments after the program name; only the first is used.
    QStringList Arguments;
    // Registers the .cam and .cal file types (tests turn it off).
    bool RegisterTypes = true;
    // Opens the chooser at start when the desktop has no notification area (the program's own
    // start sets it; tests choose).
    bool ChooserWithoutTray = false;
    // Opens the chooser at start when the catalogue is empty, with its ways to a first webcam
    // (the program's own start sets it; tests choose).
    bool ChooserWhenEmpty = false;
};

// The hidden tray window: owns the controller, the notification-area icon with its menus
// (TTrayMenus), the actions those menus run, and the one-of-a-kind window slots; opens the viewers
// and runs the commands over all of them. It is never shown and is not in the window list. Its
// components are reached by object name (TrayIcon, TrayPopup, Lastviewed1, Windows1, actExit, ...).
// Made with CreateForm: its layout is the actions, the menus and the icon; FormCreate makes the
// controller and reads the settings.
class TfoCamMain : public TSForm, public ITrayHost
{
    Q_OBJECT

public:
    explicit TfoCamMain(const TStartup& startup, QWidget* parent = nullptr);
    ~TfoCamMain() override;

    // ITrayHost
    void OpenViewer(const QString& url, bool applySavedState) override;
    void OpenViewer(TCamWebcam* webcam, bool applySavedState) override;
    void RebuildTrayMenu(bool refreshChooser = true) override;
    void EditList() override;
    void EditWebcam(const QString& url) override;
    bool SaveOptions() override;
    void AddWebcam() override;
    void ImportList(const QString& path) override;
    void CloseViewers(const QStringList& urls) override;

    // A path handed over by a second start: imports a .cam or .cal file (letter case of the
    // extension ignored) and tells the user the outcome; a file of another type is ignored. An
    // empty path (a second start without a file) opens the chooser or brings it to the front.
    void WMCopyData(const QString& path);

    // After the event loop: every program window is destroyed while the program is marked as
    // shutting down (viewers do not save again and let go of their fetch threads), then the
    // controller is released. Runs once; the destructor runs it if nobody did.
    void ShutDown();

    // The message-variable table that the language files' Variables element of this window
    // reaches: the program's message texts and the tray window's own.
    const TVariables& MessageVariables() const { return Variables; }

public slots:
    void actExitExecute();
    void actCloseMenuExecute();
    void actOptionsExecute();
    void actWindowExecute();
    void actEditExecute();
    void actAviCreatorExecute();
    void actMireExecute();
    void actAboutExecute();
    void actSiteSupportExecute();
    void actCloseAllExecute();
    void actRestoreAllExecute();
    void actSnoozeAllExecute();
    void actHideAllExecute();
    void actLanguageExecute();
    void Lastviewed1Click();

protected:
    void BuildLayout() override;
    void FormCreate() override;
    // A quit request of the desktop (the session manager at log-out) runs Exit.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    // The Help items' hints: where each opens, in the language shown (the manual's page of that
    // language). Made again after every change of language.
    void ShowSiteHints();
    void RegisterFileTypes();
    void ImportFile(const QString& path);
    void WebcamItemClick(const QString& url);
    void WindowItemClick(int position);
    void LanguageItemClick(const QString& path);
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void TrayIconClick();
    void ReportSaveFailure();
    // Tells the user where the settings file that could not be read whole is kept.
    void ReportRefusedOptions();
    // A warning in the tray's balloon where the desktop shows one, otherwise in a message box
    // (not modal) named boxName.
    void ShowWarning(const QString& text, const QString& boxName) override;
    // The same for news that is no warning.
    void ShowInformation(const QString& text, const QString& boxName);
    void ShowMessage(const QString& text, const QString& boxName, bool warning);
    // Runs a command over all viewers with their saves put off and made once at its end.
    template <typename Command> void OverAllViewers(Command command);
    // Applies the saved language; its file, or empty when the built-in English texts stay.
    QString ApplySavedLanguage();
    // --- Chooser and mosaic: open, or bring to the front, the one window of each ---
    void OpenChooser();
    void OpenMosaic();
    void ReloadChooser();
    // Opens the catalogue editor filled from the catalogue, or brings the open one to the front;
    // null when it could not be made.
    TfoEditCams* OpenEditor();

    TStartup Startup;
    bool ShutDownDone = false;
    // Saves put off while a command over all viewers runs, and whether one was asked for.
    int SaveBatch = 0;
    bool SavePending = false;
    // A failed save has been reported and no save has succeeded since.
    bool SaveFailureReported = false;

    // The message texts of this window, besides the program's (Strings.h): the caption of the
    // sub-menus that hold the catalogue entries past the screen, and the report of a failed save
    // ("%path%" stands for the settings file).
    QString More = QStringLiteral("More");
    QString SaveFailed = QStringLiteral(
        "The settings could not be saved to %path%. Changes made from now on may be lost.");
    TVariables Variables;

    QSystemTrayIcon* TrayIcon = nullptr;
    TTrayMenus* Menus = nullptr;

    // Windows of which only one may be open.
    TFormSlot<TfoOptions> OptionsDialog;
    TFormSlot<TfoEditCams> EditorWindow;
    TFormSlot<> MosaicWindow;
    TFormSlot<> ChooserWindow;

    QAction* actCloseMenu = nullptr;
    QAction* actAviCreator = nullptr;
    QAction* actEdit = nullptr;
    QAction* actMire = nullptr;
    QAction* actOptions = nullptr;
    QAction* actLanguage = nullptr;
    QAction* actWindow = nullptr;
    QAction* actExit = nullptr;
    QAction* actSiteNorvane = nullptr;
    QAction* actSitePictavo = nullptr;
    QAction* actSiteSupport = nullptr;
    QAction* actAbout = nullptr;
    QAction* actRestoreAll = nullptr;
    QAction* actHideAll = nullptr;
    QAction* actSnoozeAll = nullptr;
    QAction* actCloseAll = nullptr;
};
