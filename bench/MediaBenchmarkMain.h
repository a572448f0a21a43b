#pragma once

// The main of every benchmark that touches media files: the MIME database and
// file-type icons want an application object, the media libraries their one
// set-up, and standard paths stay redirected away from the user's data.
// `prepare` runs once before the benchmarks, e.g. to generate fixtures.

#include "media/MediaLibraries.h"

#include <QApplication>
#include <QStandardPaths>
#include <benchmark/benchmark.h>

namespace pivra::bench {

template<typename Prepare>
int runMediaBenchmarks(int argc, char** argv, Prepare prepare)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    initializeMediaLibraries();
    prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

inline int runMediaBenchmarks(int argc, char** argv)
{
    return runMediaBenchmarks(argc, argv, [] {});
}

} // namespace pivra::bench
