#include "core/io/WriteAll.h"
#include "platform/io/NativeFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>

// Over QFile, for a system without the POSIX calls: exclusive creation is QIODevice::NewOnly,
// a write at an offset is a seek there and back, and a sync is a flush (QFile has nothing
// stronger). Error() gives QFileDevice::FileError numbers.
struct TNativeFile::THandle
{
    QFile File;
};

TNativeFile::TNativeFile() : FHandle(std::make_unique<THandle>()) {}

TNativeFile::~TNativeFile() = default;

bool TNativeFile::CreateUnique(const QString& prefix, const QString& suffix, QString* errorText)
{
    QFile& file = FHandle->File;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = RandomFileName(prefix, suffix);
        if (QFileInfo(name).isSymLink())
            continue;
        file.setFileName(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            FPath = name;
            FError = 0;
            return true;
        }
        FError = file.error();
        if (!QFileInfo::exists(name))
            break; // not a name taken: the folder refuses
    }
    if (errorText)
        *errorText = ErrorText();
    return false;
}

bool TNativeFile::IsOpen() const
{
    return FHandle->File.isOpen();
}

bool TNativeFile::Append(const void* data, std::size_t n)
{
    QFile& file = FHandle->File;
    if (WriteAll(data, n, [&file](const std::uint8_t* p, std::size_t left) {
            return file.write(reinterpret_cast<const char*>(p), static_cast<qint64>(left));
        }))
        return true;
    FError = file.error() != QFileDevice::NoError ? file.error() : QFileDevice::ResourceError;
    return false;
}

bool TNativeFile::WriteAt(std::uint64_t offset, const void* data, std::size_t n)
{
    QFile& file = FHandle->File;
    const qint64 end = file.pos();
    const bool written = file.seek(static_cast<qint64>(offset)) && Append(data, n);
    return file.seek(end) && written;
}

bool TNativeFile::Sync()
{
    if (FHandle->File.flush())
        return true;
    FError = FHandle->File.error();
    return false;
}

bool TNativeFile::Close()
{
    QFile& file = FHandle->File;
    if (!file.isOpen())
        return true;
    file.close();
    FError = file.error();
    return FError == QFileDevice::NoError;
}

QString TNativeFile::ErrorText() const
{
    return FHandle->File.errorString();
}

bool OpenRegularFile(QFile& file, const QString& path, QString* errorText)
{
    const auto fail = [&](const QString& text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    // Checked before it is opened: a pipe or a device is never opened, so never waited on.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(info.isDir() ? QStringLiteral("is a folder, not a file")
                                 : QStringLiteral("not a regular file (a pipe or a device), not "
                                                  "read"));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    return true;
}
