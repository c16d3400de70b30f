#pragma once

// The main of a benchmark program that draws Qt windows: offscreen unless
// QT_QPA_PLATFORM says otherwise, so it runs without a display.

#include <benchmark/benchmark.h>

#include <QApplication>

namespace tarnwick::bench {

inline int runWithQt(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace tarnwick::bench
