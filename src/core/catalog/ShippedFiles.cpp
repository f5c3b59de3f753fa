#include "core/catalog/ShippedFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef PICTAVO_SHARE_FROM_BIN
#define PICTAVO_SHARE_FROM_BIN "../share"
#endif

namespace {
QString ProgramDir(const QString& executableDir)
{
    if (!executableDir.isEmpty())
        return executableDir;
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
}
} // namespace

QString InstalledShareFolder(const QString& executableDir)
{
    const QString dir = ProgramDir(executableDir);
    if (dir.isEmpty())
        return {};
    return QDir::cleanPath(dir + QLatin1Char('/') + QStringLiteral(PICTAVO_SHARE_FROM_BIN));
}

QString InstalledDataFolder(const QString& executableDir)
{
    const QString share = InstalledShareFolder(executableDir);
    return share.isEmpty() ? QString() : share + QStringLiteral("/pictavo");
}

QStringList ShippedFolders(const QString& executableDir)
{
    const QString dir = ProgramDir(executableDir);
    if (dir.isEmpty())
        return {};
    return {QDir::cleanPath(dir), InstalledDataFolder(dir)};
}

QString ShippedPath(const QString& relativePath, const QString& executableDir)
{
    for (const QString& folder : ShippedFolders(executableDir)) {
        const QString path = QDir::cleanPath(folder + QLatin1Char('/') + relativePath);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

QString ShippedFolder(const QString& relativePath, const QString& executableDir)
{
    const QStringList folders = ShippedFolders(executableDir);
    for (const QString& folder : folders) {
        if (QFileInfo::exists(folder + QLatin1Char('/') + relativePath))
            return folder;
    }
    return folders.isEmpty() ? QString() : folders.first();
}
