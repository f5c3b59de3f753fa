#include "core/rules/DisplayPlatform.h"

#include <QtGlobal>

QByteArray ChooseDisplayPlatform(const TDisplayEnvironment& environment)
{
    if (!environment.QpaPlatform.trimmed().isEmpty())
        return {};
    const bool wayland = !environment.WaylandDisplay.isEmpty() ||
                         environment.SessionType.trimmed().toLower() == "wayland";
    if (wayland && !environment.X11Display.isEmpty())
        return QByteArrayLiteral("xcb");
    return {};
}

TDisplayEnvironment CurrentDisplayEnvironment()
{
    return {qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"),
            qgetenv("XDG_SESSION_TYPE")};
}
