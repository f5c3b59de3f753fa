#pragma once

#include "core/Log.h"

#include <exception>

// Runs fn and lets nothing it throws go further: a thread's loop, a pool or a hand-over goes on
// with its next piece of work, and the failure leaves a warning under lcWorker ("<what> failed").
template <class Fn> void Guarded(const char* what, Fn&& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        qCWarning(lcWorker) << what << "failed:" << e.what();
    } catch (...) {
        qCWarning(lcWorker) << what << "failed";
    }
}
