#pragma once

#include "core/io/Worker.h"

#include <chrono>

// The exit sequence, called by main on the UI thread after the windows are gone: closes the
// dispatcher (waiting hand-overs are released, later ones return at once), aborts transfers under
// way, asks every worker to end and waits for them at most `bound`. libcurl's global state is
// cleaned up only when every worker has ended. True when every worker has ended; on false a worker
// is still inside libcurl or a system call, and the caller had best end the process without
// running static destructors (std::_Exit) once its own files are written.
bool ShutdownWorkers(TDispatcher* dispatcher, std::chrono::milliseconds bound);
// The same on the process-wide dispatcher (if it was ever created).
bool ShutdownWorkers(std::chrono::milliseconds bound = std::chrono::milliseconds(3000));
