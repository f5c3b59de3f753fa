#pragma once

#include "base/FormList.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QWidget>

// Runs the deletions that closed windows and finished workers have posted.
inline void drainDeletes()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// The open windows of one class, in order of creation.
template <class T> QList<T*> openForms()
{
    QList<T*> forms;
    for (QWidget* form : TFormList::Windows())
        if (auto* f = qobject_cast<T*>(form))
            forms << f;
    return forms;
}
