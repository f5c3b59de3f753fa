#pragma once

#include <QStringList>

class QWidget;
class TCamWebcam;

// What the program's windows may ask of the tray window. The tray window implements it; windows
// reach it through TrayHost() and never include the tray window's header.
//
// Windows name a webcam by its Url, its identity: the catalogue editor rebuilds the catalogue, so a
// TCamWebcam pointer kept past the current call may point at nothing.
class ITrayHost
{
public:
    virtual ~ITrayHost() = default;

    // The one road to a viewer: records the webcam in the recently viewed list, shows the open
    // viewer of the same URL or creates one (and then saves the settings). applySavedState: the
    // viewer takes the webcam's saved window state (snoozed or hidden stay so). The webcam is the
    // first one of the current catalogue with this Url; a Url the catalogue lacks opens nothing.
    virtual void OpenViewer(const QString& url, bool applySavedState) = 0;
    // The same for a webcam of the current catalogue that the caller holds right now.
    virtual void OpenViewer(TCamWebcam* webcam, bool applySavedState) = 0;
    // The one road from a changed catalogue to the tray menu; refreshChooser: an open chooser
    // reloads its tree too (the chooser's own delete command passes false).
    virtual void RebuildTrayMenu(bool refreshChooser = true) = 0;
    // Opens the catalogue editor, or brings the open one to the front ("Edit List...").
    virtual void EditList() = 0;
    // Opens the catalogue editor, or brings the open one to the front, with the first webcam of
    // this Url selected (the chooser's, the viewer's and the mosaic's Edit commands).
    virtual void EditWebcam(const QString& url) = 0;
    // Opens the catalogue editor, or brings the open one to the front, with a new webcam added
    // and selected ("Add a webcam..." of the chooser).
    virtual void AddWebcam() = 0;
    // Imports a .cam or .cal file into the catalogue and tells the user how many webcams went
    // where, or which file was not imported and why.
    virtual void ImportList(const QString& path) = 0;
    // Closes the open viewers of these Urls that the catalogue no longer holds (after a delete).
    virtual void CloseViewers(const QStringList& urls) = 0;
    // The one road to Options.xml: writes the settings. A failure is logged and reported to the
    // user, once until a save succeeds again. True when the file was written (or, inside a
    // command over all viewers, when the save was put off to the command's end).
    virtual bool SaveOptions() = 0;
    // Tells the user of a failure that no dialog waits on: in the tray's balloon where the desktop
    // shows one, otherwise in a message box (not modal) named boxName. By default: the box.
    virtual void ShowWarning(const QString& text, const QString& boxName);
};

// A warning in a message box that is not modal (commands go on), named boxName, freed when closed;
// above parent when one is given. What windows use where there is no tray window.
void ShowWarningBox(const QString& text, const QString& boxName, QWidget* parent = nullptr);

// The tray window of this process; null before it exists and after it is gone.
ITrayHost* TrayHost();
void SetTrayHost(ITrayHost* host);
