#pragma once

#include <QString>

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

// Opens an http, https or mailto address in the user's browser or mail program. Any other
// address is refused (false).
bool OpenUrl(const QString& address);
