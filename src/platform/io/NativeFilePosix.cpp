#include "core/io/WriteAll.h"
#include "platform/io/NativeFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct TNativeFile::THandle
{
    int Fd = -1;
};

namespace {

// One system call, again when a signal interrupted it.
template <typename TCall> auto Retried(TCall&& call)
{
    auto result = call();
    while (result < 0 && errno == EINTR)
        result = call();
    return result;
}

} // namespace

TNativeFile::TNativeFile() : FHandle(std::make_unique<THandle>()) {}

TNativeFile::~TNativeFile()
{
    if (FHandle->Fd >= 0)
        ::close(FHandle->Fd);
}

bool TNativeFile::CreateUnique(const QString& prefix, const QString& suffix, QString* errorText)
{
    FError = EEXIST;
    for (int attempt = 0; attempt < 100 && FError == EEXIST; ++attempt) {
        const QString name = RandomFileName(prefix, suffix);
        // O_EXCL with O_CREAT fails on any existing name, a symbolic link included.
        const int fd = ::open(QFile::encodeName(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FHandle->Fd = fd;
            FPath = name;
            FError = 0;
            return true;
        }
        FError = errno;
    }
    if (errorText)
        *errorText = ErrorText();
    return false;
}

bool TNativeFile::IsOpen() const
{
    return FHandle->Fd >= 0;
}

bool TNativeFile::Append(const void* data, std::size_t n)
{
    const int fd = FHandle->Fd;
    errno = 0;
    if (WriteAll(data, n, [fd](const std::uint8_t* p, std::size_t left) {
            return Retried([&] { return ::write(fd, p, left); });
        }))
        return true;
    FError = errno != 0 ? errno : ENOSPC;
    return false;
}

bool TNativeFile::WriteAt(std::uint64_t offset, const void* data, std::size_t n)
{
    const int fd = FHandle->Fd;
    errno = 0;
    if (WriteAll(data, n, [fd, &offset](const std::uint8_t* p, std::size_t left) {
            const ssize_t written =
                Retried([&] { return ::pwrite(fd, p, left, static_cast<off_t>(offset)); });
            if (written > 0)
                offset += static_cast<std::uint64_t>(written);
            return written;
        }))
        return true;
    FError = errno != 0 ? errno : ENOSPC;
    return false;
}

bool TNativeFile::Sync()
{
    if (::fsync(FHandle->Fd) == 0)
        return true;
    FError = errno;
    return false;
}

bool TNativeFile::Close()
{
    const int fd = FHandle->Fd;
    FHandle->Fd = -1;
    if (fd < 0 || ::close(fd) == 0)
        return true;
    FError = errno;
    return false;
}

QString TNativeFile::ErrorText() const
{
    return qt_error_string(FError);
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
