#include "base/ProgramIcon.h"

#include <QString>

QIcon ProgramIcon()
{
    static const QIcon builtIn = [] {
        QIcon icon;
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
            icon.addFile(QStringLiteral(":/icons/%1/pictavo.png").arg(size), QSize(size, size));
        return icon;
    }();
    return QIcon::fromTheme(QStringLiteral("pictavo"), builtIn);
}
