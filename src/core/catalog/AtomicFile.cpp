#include "core/catalog/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         QFileDevice::Permissions permissions, QString* errorText)
{
    const auto fail = [&](const QString& text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("Cannot create the folder %1.").arg(info.absolutePath()));
    QSaveFile file(path);
    // Unbuffered: a short write shows in write()'s result instead of being lost in a flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    if (permissions)
        file.setPermissions(permissions);
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 chunk = file.write(bytes.constData() + written, bytes.size() - written);
        if (chunk <= 0) {
            const QString text = file.errorString();
            file.cancelWriting();
            return fail(text);
        }
        written += chunk;
    }
    if (file.size() != bytes.size()) {
        file.cancelWriting();
        return fail(QStringLiteral("The file could not be written completely."));
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool OpenRegularFile(QFile& file, const QString& path, QString* errorText)
{
    const auto fail = [&](const QString& text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(qt_error_string(errno));
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(qt_error_string(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return fail(S_ISDIR(info.st_mode) ? QStringLiteral("is a folder, not a file")
                                          : QStringLiteral("not a regular file (a pipe or a "
                                                           "device), not read"));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    return true;
}

int CreateUniqueFile(const QString& prefix, const QString& suffix, QString* createdPath,
                     QString* errorText)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        QString name = prefix;
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(Letters[QRandomGenerator::global()->bounded(62)]);
        name += suffix;
        // O_EXCL with O_CREAT fails on any existing name, a symbolic link included.
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (createdPath)
                *createdPath = name;
            return fd;
        }
        error = errno;
    }
    if (errorText)
        *errorText = qt_error_string(error);
    return -1;
}
