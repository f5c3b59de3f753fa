#include "core/rules/DesktopEntry.h"
#include "platform/Desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace {
const char mimeXml[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-pictavo-cam">
    <comment>Cam Info</comment>
    <glob pattern="*.cam"/>
  </mime-type>
  <mime-type type="application/x-pictavo-cal">
    <comment>Cam List</comment>
    <glob pattern="*.cal"/>
  </mime-type>
</mime-info>
)";

QString writeFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("Failed to create the folder of '%1'").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("Failed to write '%1'").arg(path);
    return {};
}

// Starts a desktop database updater in the background, silent; nobody waits for it.
void startIfPresent(const QString& program, const QString& folder)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return;
    QProcess process;
    process.setProgram(program);
    process.setArguments({folder});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.startDetached();
}
} // namespace

QString DataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString RegisterFileTypes(const QString& programPath, const QString& dataHome, bool runUpdaters)
{
    const QString mimeFolder = dataHome + QStringLiteral("/mime");
    const QString appsFolder = dataHome + QStringLiteral("/applications");
    const QString mimeError =
        writeFile(mimeFolder + QStringLiteral("/packages/pictavo.xml"), mimeXml);

    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Pictavo\n"
                                         "Comment=Webcam viewer\n"
                                         "Exec=%1 %f\n"
                                         "Terminal=false\n"
                                         "NoDisplay=true\n"
                                         "MimeType=application/x-pictavo-cam;application/"
                                         "x-pictavo-cal;\n")
                              .arg(DesktopExecArgument(programPath));
    const QString entryError =
        writeFile(appsFolder + QStringLiteral("/pictavo.desktop"), entry.toUtf8());
    if (runUpdaters && mimeError.isEmpty())
        startIfPresent(QStringLiteral("update-mime-database"), mimeFolder);
    if (runUpdaters && entryError.isEmpty())
        startIfPresent(QStringLiteral("update-desktop-database"), appsFolder);
    return mimeError.isEmpty() ? entryError : mimeError;
}

void Beep()
{
    QApplication::beep();
}

namespace {
// A file:// address of a file inside the manual shipped beside the executable, links resolved.
bool isShippedManual(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    const QString manual =
        QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/manual"))
            .canonicalFilePath();
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    return !manual.isEmpty() && !file.isEmpty() && file.startsWith(manual + QLatin1Char('/'));
}
} // namespace

bool OpenUrl(const QString& address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid())
        return false;
    if (scheme == QLatin1String("file")
            ? !isShippedManual(url)
            : scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                  scheme != QLatin1String("mailto"))
        return false;
    return QDesktopServices::openUrl(url);
}

QStringList LanguageFolders(const QString& executableDir, const QString& dataHome)
{
    const QString program =
        executableDir.isEmpty() ? QCoreApplication::applicationDirPath() : executableDir;
    return {QDir::cleanPath(program + QStringLiteral("/Languages")),
            QDir::cleanPath(program + QStringLiteral("/../share/pictavo/Languages")),
            QDir::cleanPath(dataHome + QStringLiteral("/Pictavo/Languages"))};
}

QStringList LanguageFiles(const QStringList& folders)
{
    QStringList files;
    QStringList names;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        const QFileInfoList entries =
            dir.entryInfoList({QStringLiteral("*.xml")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo& entry : entries) {
            const QString name = entry.completeBaseName().toLower();
            if (names.contains(name))
                continue;
            names.append(name);
            files.append(entry.absoluteFilePath());
        }
    }
    return files;
}
