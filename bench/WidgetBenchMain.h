// The program of a benchmark with widgets: offscreen unless told otherwise, and the workers the
// benchmarks started ended before it returns.
#pragma once

#include "core/TimeZone.h"
#include "core/net/ExitSequence.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <chrono>

inline int RunWidgetBenchmarks(int argc, char** argv)
{
    PrepareTimeZone();

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const bool ended = ShutdownWorkers(std::chrono::milliseconds(3000));
    return ended ? 0 : 1;
}
