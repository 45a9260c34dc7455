// The main of a benchmark that drives the program's window on a real display: run it under
// `xvfb-run -a`. The toolkit's application object outlives every benchmark, and what they
// keep between runs (a program and its windows) goes before it, through release.
#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

#include <cstdlib>

template <typename Release> int RunBenchmarksOnDisplay(int argc, char** argv, Release release) {
    setenv("QT_QPA_PLATFORM", "xcb", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    release();
    return 0;
}
