#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Writes a whole file or nothing: the bytes go to a temporary file beside the target, which
// replaces the target only when every byte has been written and synced. A failure (read-only
// folder, full disk, file size limit) leaves the previous file as it was and no temporary file.
// The folder is created when missing. permissions: of the new file (0 keeps Qt's default).
bool WriteFileAtomically(const QString& path, const QByteArray& bytes,
                         QFileDevice::Permissions permissions = {}, QString* errorText = nullptr);
