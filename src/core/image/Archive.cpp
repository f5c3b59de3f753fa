#include "core/image/Archive.h"

#include "core/Log.h"
#include "core/rules/CamAddress.h"
#include "platform/io/NativeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <climits>

namespace Archive {
namespace {

bool IsBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

bool KeptInName(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '(' || u == ')' || u == '-' || u == '_' || u == '/' ||
           (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

// A name is taken when anything stands there, a dangling symbolic link included.
bool Taken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

void SetError(QString* error, const QString& message)
{
    qCInfo(lcArchive) << "archive:" << message;
    if (error)
        *error = message;
}

} // namespace

QString TrimName(const QString& name)
{
    qsizetype first = 0;
    qsizetype last = name.size();
    while (first < last && IsBlank(name[first]))
        ++first;
    while (last > first && IsBlank(name[last - 1]))
        --last;
    return name.mid(first, last - first);
}

QString CleanName(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        if (!KeptInName(c))
            c = QLatin1Char(' ');
    }
    return result;
}

QString FilePrefix(const QString& savePath, const QString& camName, bool subDirectory)
{
    if (savePath.isEmpty())
        return {};
    QString folder = savePath;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // A name may hold the webcam's address: its password stays out of file names.
    const QString tail = TrimName(MaskedAddresses(camName)) +
                         (subDirectory ? QStringLiteral("/Image ") : QStringLiteral(" "));
    return folder + CleanName(tail);
}

QString FileName(const QString& prefix, int number)
{
    return prefix + QStringLiteral("%1.jpg").arg(number, 5, 10, QLatin1Char('0'));
}

QString ArchiveImage(const QByteArray& data, const QString& camName, int& lastId,
                     const QString& savePath, bool subDirectory, QString* error)
{
    const QString prefix = FilePrefix(savePath, camName, subDirectory);
    if (prefix.isEmpty()) {
        SetError(error, QStringLiteral("No archive folder"));
        return {};
    }
    if (lastId < 0)
        lastId = 0;

    // Another writer may take a name between our test and our rename; then the search goes on.
    for (int attempt = 0; attempt < 100; ++attempt) {
        while (lastId < INT_MAX && Taken(FileName(prefix, lastId + 1)))
            ++lastId;
        if (lastId == INT_MAX) {
            SetError(error, QStringLiteral("No free file number"));
            return {};
        }
        const QString target = FileName(prefix, lastId + 1);
        const QString folder = QFileInfo(target).absolutePath();
        if (!QDir().mkpath(folder)) {
            SetError(error, QStringLiteral("Cannot create the folder %1").arg(folder));
            return {};
        }

        // Written under a hidden temporary name and renamed when complete: the numbered file
        // never exists cut short. The file gets the umask's mode, like any file the user makes.
        TNativeFile file;
        QString reason;
        if (!file.CreateUnique(folder + QStringLiteral("/.pictavo-"), QStringLiteral(".part"),
                               &reason)) {
            SetError(error, QStringLiteral("Cannot write in %1: %2").arg(folder, reason));
            return {};
        }
        const QString part = file.Path();
        const bool written = file.Append(data.constData(), static_cast<std::size_t>(data.size())) &&
                             file.Sync() && file.Close();
        if (!written) {
            reason = file.ErrorText();
            file.Close();
            QFile::remove(part);
            SetError(error, QStringLiteral("Cannot write %1: %2").arg(target, reason));
            return {};
        }
        // Renaming never replaces an existing file (QFile::rename refuses an existing target).
        QFile partFile(part);
        if (partFile.rename(target))
            return target;
        const QString renameError = partFile.errorString();
        QFile::remove(part);
        if (!Taken(target)) {
            SetError(error, QStringLiteral("Cannot write %1: %2").arg(target, renameError));
            return {};
        }
    }
    SetError(error, QStringLiteral("No free file number"));
    return {};
}

} // namespace Archive
