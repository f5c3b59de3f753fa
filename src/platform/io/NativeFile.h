#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

class QFile;

// The file calls of the core that Qt's QFile does not make: exclusive creation under a unique
// name, writing at an offset, syncing, and opening for reading without ever blocking on a pipe.
// One implementation per system, chosen by CMake: NativeFilePosix.cpp (Linux and every POSIX
// system) and NativeFilePortable.cpp (over QFile, for any other system Qt runs on; the CMake
// option PICTAVO_PORTABLE_FILES builds it on Linux too). Callers carry no system #ifdef.

// A new file open for writing. The destructor closes it; it never removes it (the owner decides
// whether the file is kept).
class TNativeFile
{
public:
    TNativeFile();
    ~TNativeFile(); // not copied: it owns its file

    // Creates a new, empty file named prefix + six random letters and digits + suffix,
    // exclusively: an existing name (a symbolic link included) is never followed, opened or
    // truncated; another name is tried instead. The mode is 0666 less the umask.
    bool CreateUnique(const QString& prefix, const QString& suffix, QString* errorText = nullptr);

    bool IsOpen() const;
    // The name CreateUnique chose.
    const QString& Path() const { return FPath; }

    // Writes all n bytes after those written so far; an interrupted or short write goes on.
    bool Append(const void* data, std::size_t n);
    // Writes all n bytes at offset; the append position stays where it was.
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t n);
    // The data and the size on the disk, before the file is renamed into place.
    bool Sync();
    bool Close();

    // Why the last call failed: the system's error number (a write that wrote nothing counts as a
    // full disk), and its text.
    int Error() const { return FError; }
    QString ErrorText() const;

private:
    struct THandle;
    std::unique_ptr<THandle> FHandle;
    QString FPath;
    int FError = 0;
};

// prefix + six random letters and digits + suffix: the names CreateUnique tries (NativeFile.cpp).
QString RandomFileName(const QString& prefix, const QString& suffix);

// Opens path for reading when it is a regular file. A FIFO, a device or a folder is refused with a
// message instead of blocking the caller: the file is opened without waiting and checked before
// anything is read from it.
bool OpenRegularFile(QFile& file, const QString& path, QString* errorText = nullptr);
