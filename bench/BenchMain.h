#pragma once

// The start of the benchmarks whose code needs Qt's application object (event loops, timers,
// the application's folders).

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <functional>

namespace tavrin::bench {

// `before` runs once the application exists, ahead of every benchmark.
inline int runWithQt(int argc, char** argv, const std::function<void()>& before = {})
{
    QCoreApplication app(argc, argv);
    if (before) before();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace tavrin::bench
