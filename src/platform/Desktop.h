#pragma once

#include <QString>
#include <QStringList>

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

// The default message beep.
void Beep();

// Opens an http, https or mailto address in the user's browser or mail program, or a file://
// address of the manual shipped beside the program (the folder "manual" next to the executable).
// Any other address is refused (false).
bool OpenUrl(const QString& address);

// --- Language files -----------------------------------------------------------------------------

// The folders searched for language files, in order: Languages beside the executable, then
// <prefix>/share/pictavo/Languages (the prefix being the executable's parent folder), then
// $XDG_DATA_HOME/Pictavo/Languages.
QStringList LanguageFolders(const QString& executableDir = QString(),
                            const QString& dataHome = DataHome());

// The language files (*.xml, any letter case) of the folders: each folder's files by name, and a
// name already found in an earlier folder is left out. Full paths.
QStringList LanguageFiles(const QStringList& folders);
