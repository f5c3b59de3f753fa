#pragma once

#include "base/FormList.h"

#include <QCoreApplication>
#include <QEvent>

// Runs the deletions that closed windows and finished workers have posted.
inline void drainDeletes()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}
