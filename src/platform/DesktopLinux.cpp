#include "core/catalog/ShippedFiles.h"
#include "core/rules/DesktopEntry.h"
#include "platform/Desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

// Resources of the static gui library are registered by name, outside any namespace.
static void initResources()
{
    Q_INIT_RESOURCE(pictavo);
}

namespace {
// The file types, as installed under the prefix (shared-mime-info package), from the resources.
QByteArray mimeXml()
{
    static const bool registered = (initResources(), true);
    Q_UNUSED(registered);
    QFile file(QStringLiteral(":/mime/pictavo.xml"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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
    const QByteArray mime = mimeXml();
    const QString mimeError =
        mime.isEmpty() ? QStringLiteral("The file types are missing from the program")
                       : writeFile(mimeFolder + QStringLiteral("/packages/pictavo.xml"), mime);

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

QString InstalledDesktopEntry(const QString& executableDir)
{
    const QString share = InstalledShareFolder(executableDir);
    if (share.isEmpty())
        return {};
    const QString entry = share + QStringLiteral("/applications/") + DesktopEntryName;
    return QFileInfo(entry).isFile() ? entry : QString();
}

bool IsShippedManual(const QUrl& url, const QString& executableDir)
{
    if (!url.isLocalFile())
        return false;
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    if (file.isEmpty())
        return false;
    for (const QString& folder : ShippedFolders(executableDir)) {
        const QString manual = QFileInfo(folder + QStringLiteral("/manual")).canonicalFilePath();
        if (!manual.isEmpty() && file.startsWith(manual + QLatin1Char('/')))
            return true;
    }
    return false;
}

namespace {
std::function<bool(const QUrl&)>& urlOpener()
{
    static std::function<bool(const QUrl&)> opener;
    return opener;
}
} // namespace

bool OpenUrl(const QString& address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid())
        return false;
    if (scheme == QLatin1String("file")
            ? !IsShippedManual(url)
            : scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
                  scheme != QLatin1String("mailto"))
        return false;
    return urlOpener() ? urlOpener()(url) : QDesktopServices::openUrl(url);
}

void SetUrlOpener(std::function<bool(const QUrl&)> opener)
{
    urlOpener() = std::move(opener);
}

QStringList LanguageFolders(const QString& executableDir, const QString& dataHome)
{
    QStringList folders;
    for (const QString& folder : ShippedFolders(executableDir))
        folders << folder + QStringLiteral("/Languages");
    folders << QDir::cleanPath(dataHome + QStringLiteral("/Pictavo/Languages"));
    return folders;
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
