#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QUrl;

// The desktop services the program uses: file types, the message beep, and the browser or mail
// program for an address.

// $XDG_DATA_HOME (default ~/.local/share).
QString DataHome();

// Registers the .cam ("Cam Info") and .cal ("Cam List") file types for this program: writes
// <dataHome>/mime/packages/pictavo.xml and <dataHome>/applications/pictavo.desktop, then starts
// update-mime-database and update-desktop-database where present (runUpdaters), without waiting
// for them. Returns an empty text on success, otherwise a message that says what could not be
// written.
QString RegisterFileTypes(const QString& programPath, const QString& dataHome = DataHome(),
                          bool runUpdaters = true);

// The file name of the desktop entry that an installation puts in <prefix>/share/applications.
inline constexpr char DesktopEntryName[] = "org.pictavo.Pictavo.desktop";

// The installed desktop entry of the program in executableDir (the running one's when empty):
// <prefix>/share/applications/org.pictavo.Pictavo.desktop for a program in <prefix>/bin, when
// that file exists; empty otherwise (the build tree, a copied folder). An installed program
// leaves the file types to the installed entry and writes none of its own.
QString InstalledDesktopEntry(const QString& executableDir = QString());

// The default message beep.
void Beep();

// Opens an http, https or mailto address in the user's browser or mail program, or a file://
// address of the manual shipped with the program (IsShippedManual). Any other address is refused
// (false).
bool OpenUrl(const QString& address);

// What OpenUrl hands an accepted address to: the desktop's browser or mail program, or the opener
// set here (tests record the addresses the program would open); null restores the desktop's.
void SetUrlOpener(std::function<bool(const QUrl&)> opener);

// Whether a file:// address names an existing file inside the shipped manual: the folder "manual"
// beside the executable, or in <prefix>/share/pictavo when installed (links resolved).
bool IsShippedManual(const QUrl& url, const QString& executableDir = QString());

// --- Language files -----------------------------------------------------------------------------

// The folders searched for language files, in order: Languages beside the executable, then
// <prefix>/share/pictavo/Languages (for an executable in <prefix>/bin), then
// $XDG_DATA_HOME/Pictavo/Languages.
QStringList LanguageFolders(const QString& executableDir = QString(),
                            const QString& dataHome = DataHome());

// The language files (*.xml, any letter case) of the folders: each folder's files by name, and a
// name already found in an earlier folder is left out. Full paths.
QStringList LanguageFiles(const QStringList& folders);
