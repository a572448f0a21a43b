#pragma once

// The main of every benchmark that touches media files: the MIME database and
// file-type icons want an application object, the media libraries their one
// set-up, and standard paths stay redirected away from the user's data.
// `prepare` runs once before the benchmarks, e.g. to generate fixtures, and
// `finish` once after them, while the application still exists: whatever a
// benchmark kept for the whole run (a window, a store) is torn down there, as
// widgets outliving the application crash at exit.

#include "media/MediaLibraries.h"

#include <QApplication>
#include <QStandardPaths>
#include <benchmark/benchmark.h>

namespace pivra::bench {

template<typename Prepare, typename Finish>
int runMediaBenchmarks(int argc, char** argv, Prepare prepare, Finish finish)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    initializeMediaLibraries();
    prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    finish();
    return 0;
}

template<typename Prepare>
int runMediaBenchmarks(int argc, char** argv, Prepare prepare)
{
    return runMediaBenchmarks(argc, argv, prepare, [] {});
}

inline int runMediaBenchmarks(int argc, char** argv)
{
    return runMediaBenchmarks(argc, argv, [] {}, [] {});
}

} // namespace pivra::bench
