#include "platform/runtime/threads/BackgroundReleaser.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/threads/HeldFileCalls.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace pivra {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How often finish() looks for a thread held on a file, and how long one
// may stay held before it stops waiting: far longer than a live share keeps
// one call waiting, far shorter than anyone waits for a quit.
constexpr auto heldLookEvery = 40ms;
constexpr auto heldLongest = 240ms;

// The releases under way, by number, with the files each one's object reads.
using Releases = std::map<std::uint64_t, std::vector<QByteArray>>;

// How long each release under way has had a thread held on its files.
using HeldTimes = std::map<std::uint64_t, Clock::duration>;

// Every file the releases in `releases` read.
std::vector<QByteArray> filesOf(const Releases& releases)
{
    std::vector<QByteArray> files;
    for (const auto& [number, reads] : releases) {
        files.insert(files.end(), reads.begin(), reads.end());
    }
    return files;
}

// Brings `heldFor` up to a look `elapsed` after the one before, which found
// a thread still held on each file of `stillHeld`: a release reading none
// of them starts afresh. Whether every release under way has been held for
// heldLongest.
bool allHeldLongEnough(const Releases& underWay, const std::vector<QByteArray>& stillHeld, Clock::duration elapsed,
                       HeldTimes& heldFor)
{
    HeldTimes heldNow;
    bool allHeld = true;
    for (const auto& [number, reads] : underWay) {
        const bool isHeld = std::any_of(reads.begin(), reads.end(), [&stillHeld](const QByteArray& file) {
            return std::find(stillHeld.begin(), stillHeld.end(), file) != stillHeld.end();
        });
        const Clock::duration time = isHeld ? heldFor[number] + elapsed : Clock::duration{};
        heldNow.emplace(number, time);
        allHeld = allHeld && time >= heldLongest;
    }
    heldFor = std::move(heldNow);
    return allHeld;
}

} // namespace

struct BackgroundReleaser::Pending {
    std::mutex mutex;
    std::condition_variable done;
    Releases releases;
    std::uint64_t nextNumber = 0;
    // The GUI thread's, while finish() turns it: woken as the last release ends.
    QAbstractEventDispatcher* finishing = nullptr;
};

BackgroundReleaser::BackgroundReleaser() : pending_(std::make_shared<Pending>()) {}

BackgroundReleaser::~BackgroundReleaser()
{
    std::unique_lock lock(pending_->mutex);
    pending_->done.wait(lock, [this] { return pending_->releases.empty(); });
}

BackgroundReleaser& BackgroundReleaser::shared()
{
    static BackgroundReleaser releaser;
    return releaser;
}

void BackgroundReleaser::release(std::shared_ptr<void> object, std::vector<QByteArray> reads)
{
    detail::workQueued();
    std::uint64_t number = 0;
    {
        const std::lock_guard lock(pending_->mutex);
        number = pending_->nextNumber++;
        pending_->releases.emplace(number, std::move(reads));
    }
    std::thread([pending = pending_, number, object = std::move(object)]() mutable {
        object.reset();
        // Told before it is no longer under way: whoever waited for the
        // releases may let the application go at once, and this may wake its
        // dispatcher.
        detail::workDelivered();
        {
            const std::lock_guard lock(pending->mutex);
            pending->releases.erase(number);
            if (pending->releases.empty() && pending->finishing != nullptr) {
                pending->finishing->wakeUp();
            }
        }
        pending->done.notify_all();
    }).detach();
}

void BackgroundReleaser::finish()
{
    assertMainThread();
    QAbstractEventDispatcher* const dispatcher = QThread::currentThread()->eventDispatcher();
    HeldFileCalls held;
    HeldTimes heldFor;
    auto lastLook = Clock::now();
    QTimer looks;
    looks.start(heldLookEvery);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const auto now = Clock::now();
        const bool looking = now - lastLook >= heldLookEvery;
        Releases underWay;
        {
            const std::lock_guard lock(pending_->mutex);
            if (pending_->releases.empty()) {
                pending_->finishing = nullptr;
                return;
            }
            pending_->finishing = dispatcher;
            if (looking) {
                underWay = pending_->releases;
            }
        }
        if (looking) {
            // Only the time a thread could not move on counts: a release
            // held in a call on a share that never answers would hold the
            // program for good, and the process's end ends that thread.
            const bool allHeld =
                allHeldLongEnough(underWay, held.lookAgain(filesOf(underWay)), now - lastLook, heldFor);
            lastLook = now;
            if (allHeld) {
                const std::lock_guard lock(pending_->mutex);
                pending_->finishing = nullptr;
                return;
            }
        }
        // A wake between the look at the releases above and this wait ends
        // the wait at once; the looks' timer ends it too.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace pivra
