#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

class QFile;

// Writes a whole file or nothing: the bytes go to a temporary file beside the target, which
// replaces the target only when every byte has been written and synced. A failure (read-only
// folder, full disk, file size limit) leaves the previous file as it was and no temporary file.
// The folder is created when missing. permissions: of the new file (0 keeps Qt's default).
bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         QFileDevice::Permissions permissions = {}, QString* errorText = nullptr);

// Opens path for reading when it is a regular file. A FIFO, a device or a folder is refused with a
// message instead of blocking the caller: the file is opened without waiting and checked before
// anything is read from it.
bool OpenRegularFile(QFile& file, const QString& path, QString* errorText = nullptr);

// Creates a new, empty file named prefix + six random letters and digits + suffix, exclusively:
// an existing name (a symbolic link included) is never followed, opened or truncated; another
// name is tried instead. The mode is 0666 less the umask. Returns the open descriptor for writing
// (the caller closes it) and the name in *createdPath, or -1 with the reason in *errorText.
int CreateUniqueFile(const QString& prefix, const QString& suffix, QString* createdPath,
                     QString* errorText = nullptr);
