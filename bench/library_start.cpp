// Start-up of a library of many folder sources, each a real empty folder:
// the store starts on the stored list, the library window shows it, the
// access pass finds every folder online and the start's rescan walks them
// all. Reported: the longest pass of the GUI thread from the store's making
// until the rescan has ended and everything after it has settled (closing
// the window is not timed), as the
// processor time the thread itself used and as the time it was held up less
// its waits for a processor; and when the rescan ended.

#include "MediaBenchmarkMain.h"
#include "StoreSources.h"

#include "app/window/LibraryWindow.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/EventLoopWatch.h"
#include "support/SettingsSandbox.h"

#include <QDir>
#include <QElapsedTimer>

namespace {

using namespace pivra;

// The folders of every run, made once.
QTemporaryDir& folders()
{
    static QTemporaryDir dir;
    return dir;
}

QList<LibrarySource> folderSources(int count)
{
    QList<LibrarySource> sources;
    for (int index = 0; index < count; ++index) {
        const QString path = folders().filePath(QString::number(index));
        QDir().mkpath(path);
        sources.append(bench::folderSource(QString::number(index), path));
    }
    return sources;
}

void BM_StartWithFolderSources(benchmark::State& state)
{
    const QList<LibrarySource> sources = folderSources(int(state.range(0)));
    for (auto _ : state) {
        QTemporaryDir run;
        const test::SettingsSandbox settings(run.path());
        AppSettings().setValue(LibraryStore::sourcesKey, encodeSources(sources));
        ThumbnailStore thumbnails(bench::runThumbnailLocations(run), std::make_shared<ThumbnailRenderer>());
        VideoPreviewStore clips(run.filePath(QStringLiteral("clips")));

        QElapsedTimer started;
        started.start();
        const test::EventLoopWatch watch;
        {
            LibraryStore store(bench::folderStoreServices(run, thumbnails));
            LibraryWindow window(store, thumbnails, clips);
            window.resize(1400, 900);
            window.show();
            bench::waitForRun(store, PivraProcess::Kind::indexing);
            state.counters["rescan_ended_s"] = double(started.elapsed()) / 1000;
            drain(-1);
            state.SetIterationTime(double(started.elapsed()) / 1000);
            state.counters["longest_busy_pass_ms"] = watch.longestBusyMs();
            state.counters["longest_pass_less_waits_ms"] = watch.longestMs();
        }
    }
}
BENCHMARK(BM_StartWithFolderSources)->Arg(200)->Arg(2000)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return bench::runMediaBenchmarks(argc, argv);
}
