#pragma once

#include <QString>
#include <QStringList>

// The files that come with the program (language files, the manual, the default settings) stand
// beside the executable in the build tree and in a copied folder, and under the prefix's data
// folder (<prefix>/share/pictavo) once installed.

// <prefix>/share/pictavo for an executable in <prefix>/bin, cleaned, whether it exists or not.
QString InstalledDataFolder(const QString& executableDir = QString());
// <prefix>/share for an executable in <prefix>/bin (the desktop entry, icons, file types).
QString InstalledShareFolder(const QString& executableDir = QString());

// The folders searched for a shipped file, in order: the executable's folder, then
// InstalledDataFolder. An empty executableDir means the running program's.
QStringList ShippedFolders(const QString& executableDir = QString());

// The full path of the first existing relativePath (file or folder) under ShippedFolders; empty
// when no folder holds it.
QString ShippedPath(const QString& relativePath, const QString& executableDir = QString());

// The folder of ShippedFolders that holds relativePath; the executable's folder when none does.
QString ShippedFolder(const QString& relativePath, const QString& executableDir = QString());

// The settings that a start without Options.xml reads.
inline constexpr char DefaultOptionsName[] = "DefaultOptions.xml";
