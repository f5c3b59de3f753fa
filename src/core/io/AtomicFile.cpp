#include "core/io/AtomicFile.h"

#include "core/io/WriteAll.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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
    const bool written =
        WriteAll(bytes.constData(), static_cast<std::size_t>(bytes.size()),
                 [&file](const std::uint8_t* p, std::size_t n) {
                     return file.write(reinterpret_cast<const char*>(p), static_cast<qint64>(n));
                 });
    if (!written) {
        const QString text = file.errorString();
        file.cancelWriting();
        return fail(text);
    }
    if (file.size() != bytes.size()) {
        file.cancelWriting();
        return fail(QStringLiteral("The file could not be written completely."));
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
