// Start-up of a library of many folder sources, each a real folder holding
// one photo: the store starts on the stored list, the library window shows
// it, the access passes find every folder online and the start's rescan
// indexes them all. Run with the whole process held to a share of one
// processor (a cgroup of its own; root needed, see ProcessorQuota), as on a
// busy machine or in a small container.
//
// Reported: whether the start settled (every source online, every photo in
// the catalog and the indexing ended) within the time allowed, and when; the
// access passes applied meanwhile; the longest pass of the GUI thread, as the
// processor time the thread itself used and as the time it was held up less
// its waits for a processor; the most threads the process held; and its peak
// resident memory.

#include "harness/MediaBenchmarkMain.h"
#include "harness/ProcessorQuota.h"
#include "harness/ResidentMemory.h"
#include "harness/StoreSources.h"

#include "app/window/LibraryWindow.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/files/JpegMaker.h"
#include "support/system/SettingsSandbox.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using namespace pivra;

// How long a start may take before it counts as one that never settles.
constexpr int allowedSeconds = 300;

// The folders of every run, made once, each with one photo.
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
        if (QDir().mkpath(path) && !QFile::exists(path + QStringLiteral("/IMG.jpg"))) {
            // Each its own, so that none is taken for a copy of another.
            test::makeJpeg(path + QStringLiteral("/IMG.jpg"), QSize(32 + index % 64, 24 + index / 64), {},
                           QColor::fromRgb(index * 37 % 256, index * 91 % 256, index % 256));
        }
        sources.append(bench::folderSource(QString::number(index), path));
    }
    return sources;
}

// The access passes applied, counted from the line each one logs.
std::atomic<int> passesApplied{0};
QtMessageHandler otherMessages = nullptr;

void countPasses(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message == QLatin1String("access pass done")) {
        ++passesApplied;
        return;
    }
    if (qstrcmp(context.category, "pivra.sources") != 0) {
        otherMessages(type, context, message);
    }
}

// The most threads the process held while it lived.
class ThreadPeak {
public:
    ThreadPeak()
        : sampler_([this] {
              while (!done_) {
                  const int now = int(QDir(QStringLiteral("/proc/self/task"))
                                          .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                          .size());
                  most_ = std::max(most_.load(), now);
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          })
    {
    }
    ~ThreadPeak()
    {
        done_ = true;
        sampler_.join();
    }
    int most() const { return most_; }

private:
    std::atomic<bool> done_{false};
    std::atomic<int> most_{0};
    std::thread sampler_;
};

bool settled(const LibraryStore& store, int count)
{
    const QList<LibrarySource>& sources = store.sources();
    return !store.isScanning() && store.totalCount() == count
           && std::all_of(sources.cbegin(), sources.cend(), [](const LibrarySource& each) { return each.isOnline; });
}

void BM_StartWithFolderSources(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QList<LibrarySource> sources = folderSources(count);
    for (auto _ : state) {
        QTemporaryDir run;
        const test::SettingsSandbox settings(run.path());
        AppSettings().setValue(LibraryStore::sourcesKey, encodeSources(sources));
        ThumbnailStore thumbnails(bench::runThumbnailLocations(run), std::make_shared<ThumbnailRenderer>());
        VideoPreviewStore clips(run.filePath(QStringLiteral("clips")));

        const bench::ProcessorQuota quota(int(state.range(1)));
        if (state.range(1) < 100 && !quota.holds()) {
            state.SkipWithError("no cgroup to hold the process to a share of a processor");
            return;
        }
        passesApplied = 0;
        otherMessages = qInstallMessageHandler(&countPasses);
        QLoggingCategory::setFilterRules(QStringLiteral("pivra.sources.info=true"));
        bench::resetResidentPeak();
        const ThreadPeak threads;
        QElapsedTimer started;
        started.start();
        const test::EventLoopWatch watch;
        {
            LibraryStore store(bench::folderStoreServices(run, thumbnails));
            LibraryWindow window(store, thumbnails, clips);
            window.resize(1400, 900);
            window.show();
            const bool done =
                test::EventLoopWatch().waitFor([&] { return settled(store, count); }, allowedSeconds * 1000);
            state.counters["settled"] = done ? 1 : 0;
            state.counters["settled_s"] = double(started.elapsed()) / 1000;
            state.counters["passes"] = passesApplied.load();
            state.counters["longest_busy_pass_ms"] = watch.longestBusyMs();
            state.counters["longest_pass_less_waits_ms"] = watch.longestMs();
            state.counters["threads_most"] = threads.most();
            state.counters["peak_resident_mb"] = bench::residentMegabytes("VmHWM:");
            state.SetIterationTime(double(started.elapsed()) / 1000);
            // Told at once: a start that never settled may not end either.
            std::fprintf(stderr, "bench: %d sources at %d%%: settled %d after %.1f s, %d passes, longest pass %.1f ms "
                                 "busy / %.1f ms held up, %d threads at most, %.0f MB peak\n",
                         count, int(state.range(1)), done ? 1 : 0, double(started.elapsed()) / 1000,
                         passesApplied.load(), watch.longestBusyMs(), watch.longestMs(), threads.most(),
                         bench::residentMegabytes("VmHWM:"));
            // A start that never settled may never rest either.
            store.cancelScan();
            store.cancelThumbnailPreparation();
            drain(allowedSeconds * 1000);
        }
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(otherMessages);
    }
}
// Sources, and the share of one processor in percent.
BENCHMARK(BM_StartWithFolderSources)
    ->Args({200, 100})
    ->Args({2000, 100})
    ->Args({200, 25})
    ->Args({2000, 25})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return bench::runMediaBenchmarks(argc, argv);
}
