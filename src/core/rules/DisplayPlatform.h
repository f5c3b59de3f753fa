#pragma once

#include <QByteArray>

// Which of the toolkit's display platforms the program asks for at start, from the session's
// environment. A Wayland session with XWayland (WAYLAND_DISPLAY or XDG_SESSION_TYPE=wayland, and
// DISPLAY) runs the program on X11: viewer places, the magnet to screen edges, moving a viewer by
// dragging its picture and always-on-top need global window coordinates that a Wayland client
// does not have. A platform the user chose (QT_QPA_PLATFORM not empty) is kept, and a session
// without DISPLAY is left to the toolkit's own choice.
struct TDisplayEnvironment
{
    QByteArray QpaPlatform;    // QT_QPA_PLATFORM
    QByteArray WaylandDisplay; // WAYLAND_DISPLAY
    QByteArray X11Display;     // DISPLAY
    QByteArray SessionType;    // XDG_SESSION_TYPE
};

// The value to give QT_QPA_PLATFORM before the application object is made; empty: leave it.
QByteArray ChooseDisplayPlatform(const TDisplayEnvironment& environment);

// The environment of this process.
TDisplayEnvironment CurrentDisplayEnvironment();
