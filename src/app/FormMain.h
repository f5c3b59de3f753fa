#pragma once

#include "base/TrayHost.h"
#include "core/catalog/Strings.h"

#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QWidget>

class QAction;
class QMenu;
class TCamCategory;
class TCamWebcam;
class TSForm;

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
};

// The hidden tray window: owns the controller, the notification-area icon and its menu, opens the
// viewers and runs the commands over all of them. It is never shown and is not in the window list.
class TfoCamMain : public QWidget, public ITrayHost
{
    Q_OBJECT

public:
    // Builds the icon and the menu, then runs FormCreate.
    explicit TfoCamMain(const TStartup& startup, QWidget* parent = nullptr);
    ~TfoCamMain() override;

    // ITrayHost
    void OpenViewer(TCamWebcam* webcam, bool applySavedState) override;
    void RebuildTrayMenu(bool refreshChooser = true) override;
    void EditList() override;
    bool SaveOptions() override;

    // A path handed over by a second start: imports an existing .cam or .cal file (letter case
    // of the extension ignored); anything else is ignored.
    void WMCopyData(const QString& path);

    // After the event loop: every program window is destroyed while the program is marked as
    // shutting down (viewers do not save again and let go of their fetch threads), then the
    // controller is released. Runs once; the destructor runs it if nobody did.
    void ShutDown();

    // The message-variable table of the language files.
    TVariables Variables;

    QSystemTrayIcon* TrayIcon = nullptr;
    QMenu* TrayPopup = nullptr;
    QMenu* Lastviewed1 = nullptr;
    QMenu* Windows1 = nullptr;
    QMenu* Help1 = nullptr;
    QMenu* Language1 = nullptr;
    QAction* Nocam1 = nullptr;
    QAction* BeforeItems = nullptr;
    QAction* AfterItems = nullptr;
    QAction* Dummy2 = nullptr;

    // Windows of which only one may be open; each empties its slot when it closes.
    QPointer<QWidget> OptionsDialog;
    QPointer<QWidget> EditorWindow;
    QPointer<QWidget> MosaicWindow;
    QPointer<QWidget> ChooserWindow;

    // Menu items carry their webcam (catalogue items, Last viewed) or their window-list position
    // (Windows sub-menu) in this property.
    static constexpr const char* WebcamProperty = "pvWebcam";
    static constexpr const char* WindowProperty = "pvWindow";
    // Set (true) on the item that starts a new menu column.
    static constexpr const char* ColumnBreakProperty = "columnBreak";
    // Object name of the sub-menus that hold the catalogue entries past what fits on the screen.
    static constexpr const char* MoreMenuName = "More1";
    // Items of the Language sub-menu carry the full path of their language file.
    static constexpr const char* LanguageProperty = "pvLanguage";

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
    // A quit request of the desktop (the session manager at log-out) runs Exit.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateTrayPopup();
    void FormCreate();
    void RegisterFileTypes();
    void ImportFile(const QString& path);
    void StartStateDump();
    void FillCategoryMenu(QMenu* menu, const TCamCategory& category);
    QAction* AddWebcamItem(QMenu* menu, TCamWebcam* webcam, QAction* before);
    void WebcamItemClick(QAction* item);
    void WindowItemClick(QAction* item);
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void TrayIconClick();
    QAction* NewAction(const char* name, const QString& caption, void (TfoCamMain::*handler)());
    QAction* NewSeparator(QMenu* menu, const char* name);
    // Lines of menu items that a menu of the tray may take on the screen of the tray icon.
    int MenuLines(const QMenu* menu) const;
    void ReportSaveFailure();
    // Runs a command over all viewers with their saves put off and made once at its end.
    template <typename Command> void OverAllViewers(Command command);

    // --- Chooser and mosaic: open, or bring to the front, the one window of each ---
    void OpenChooser();
    void OpenMosaic();
    void ReloadChooser();

    // --- Language files ---
    void ApplySavedLanguage();
    void BuildLanguageMenu();
    void LanguageItemClick(QAction* item);

    TStartup Startup;
    bool ShutDownDone = false;
    // Saves put off while a command over all viewers runs, and whether one was asked for.
    int SaveBatch = 0;
    bool SavePending = false;
    // A failed save has been reported and no save has succeeded since.
    bool SaveFailureReported = false;

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
