#pragma once

#include <QString>

// The program's name and title; never translated.
inline const QString ProductName = QStringLiteral("Pictavo");
inline const QString ProductTitle = QStringLiteral("Pictavo 1.3");
