#include "core/catalog/LanguageFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

QString ResolveLanguageFile(const QString& value, const QStringList& folders)
{
    if (value.isEmpty() || QDir::isAbsolutePath(value))
        return value;
    const qsizetype cut =
        std::max(value.lastIndexOf(QLatin1Char('/')), value.lastIndexOf(QLatin1Char('\\')));
    const QString fileName = value.mid(cut + 1);
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String(".."))
        return {};
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(fileName);
        if (QFileInfo(path).isFile())
            return path;
    }
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& entry : dir.entryList(QDir::Files)) {
            if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
                return dir.filePath(entry);
        }
    }
    return {};
}
