#include "core/net/ExitSequence.h"

#include "core/io/Dispatcher.h"
#include "core/net/FetchEngine.h"
#include "core/net/HttpClient.h"

#include <algorithm>

bool ShutdownWorkers(TDispatcher* dispatcher, std::chrono::milliseconds bound)
{
    if (dispatcher)
        dispatcher->Close();
    const auto deadline = std::chrono::steady_clock::now() + bound;
    THttpClient::AbortAll();
    TerminateAllWorkers();
    // The engine ends its transfers on its own thread; libcurl is cleaned up only after it.
    const bool engineEnded = StopFetchEngine(bound);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const bool allEnded =
        WaitForWorkers(std::max(std::chrono::milliseconds(0), left)) && engineEnded;
    if (allEnded)
        THttpClient::GlobalCleanup();
    return allEnded;
}

bool ShutdownWorkers(std::chrono::milliseconds bound)
{
    return ShutdownWorkers(TDispatcher::HasMain() ? TDispatcher::Main().get() : nullptr, bound);
}
