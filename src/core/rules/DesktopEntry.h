#pragma once

#include <QString>

// A path as one quoted argument of a desktop entry's Exec key. Inside the double quotes the
// characters " ` $ and the backslash take a backslash; then the value rules of desktop entries
// double every backslash and write line ends and tabs as escapes (so a path can never start a
// key line of its own); % is doubled.
QString DesktopExecArgument(const QString& path);
