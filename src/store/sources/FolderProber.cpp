#include "store/sources/FolderProber.h"

#include "platform/folders/FolderBookmark.h"
#include "platform/folders/MountMonitor.h"
#include "platform/folders/MountTable.h"
#include "platform/folders/NearestFolder.h"
#include "platform/runtime/Gathering.h"
#include "platform/runtime/MainThread.h"

#include <algorithm>

namespace pivra {

namespace {

// Whether a queued probe of `probed` answers for `asked` too: it reads
// nothing else of the source.
bool probesAlike(const LibrarySource& probed, const LibrarySource& asked)
{
    return probed.bookmark == asked.bookmark && probed.lastKnownPath == asked.lastKnownPath
           && probed.volumePath == asked.volumePath;
}

// The filesystem a source's folder lies on, by its device number: the one
// its bookmark recorded while a mount of it is in the table, so that a folder
// chosen through a link into a share goes with the share, not with the disk
// its path names; else the one the table names for its path, as for a disk
// that is gone. 0 when none holds it. Only the table is read, never the disk,
// since the share may be the one that hangs.
std::uint64_t diskOf(const QList<MountEntry>& table, const LibrarySource& source)
{
    const std::optional<FolderBookmark> bookmark = FolderBookmark::decode(source.bookmark);
    if (const std::optional<std::uint64_t> recorded = bookmark ? bookmark->device() : std::nullopt;
        recorded && std::any_of(table.cbegin(), table.cend(),
                                [&](const MountEntry& mount) { return mount.device == *recorded; })) {
        return *recorded;
    }
    const std::optional<MountEntry> mount = mountHolding(table, cleanFolderPath(source.lastKnownPath));
    return mount ? mount->device : 0;
}

} // namespace

// What one probe found, written on its thread and read once its answer has
// been posted to the GUI thread.
struct FolderProber::Result {
    std::optional<FolderProbe> probe;
    bool skipped = false; // its filesystem was found dead before it began
};

FolderProber::FolderProber(Probe probe, DiskCallPool::Limits limits, std::function<void()> answeredLate)
    : probe_(std::move(probe)), answeredLate_(std::move(answeredLate)), pool_(limits)
{
}

// Whoever still waits is let go with what came; the calls still queued go
// unrun, and those reading tell no one.
FolderProber::~FolderProber()
{
    for (const auto& [gathering, finish] : finishers_) {
        if (!gathering.expired()) {
            finish();
        }
    }
}

template<typename T>
void FolderProber::keep(const std::shared_ptr<Gathering<T>>& gathering)
{
    std::erase_if(finishers_, [](const auto& kept) { return kept.first.expired(); });
    finishers_.emplace_back(gathering, [weak = std::weak_ptr<Gathering<T>>(gathering)] {
        if (const std::shared_ptr<Gathering<T>> gathering = weak.lock(); gathering && !gathering->isFinished()) {
            gathering->finish();
        }
    });
}

Task<std::vector<std::optional<FolderProbe>>> FolderProber::probe(QList<LibrarySource> sources)
{
    assertMainThread();
    auto gathering = std::make_shared<Gathering<FolderProbe>>(static_cast<std::size_t>(sources.size()));
    keep(gathering);
    const QList<MountEntry> table =
        readMountTable(QString::fromLatin1(MountMonitor::processMountTable)).value_or(QList<MountEntry>{});
    for (qsizetype index = 0; index < sources.size(); ++index) {
        ask(sources[index], diskOf(table, sources[index]), Waiter{gathering, static_cast<std::size_t>(index)});
    }
    co_return co_await gathering->all();
}

Task<std::vector<std::optional<ChosenFolder>>> FolderProber::inspect(QStringList paths)
{
    assertMainThread();
    auto gathering = std::make_shared<Gathering<ChosenFolder>>(static_cast<std::size_t>(paths.size()));
    keep(gathering);
    for (qsizetype index = 0; index < paths.size(); ++index) {
        auto found = std::make_shared<std::optional<ChosenFolder>>();
        pool_.run([path = paths[index], found] { *found = inspectChosenFolder(path); }, GuiReturn(this),
                  [gathering, index, found](DiskCallPool::Outcome outcome) {
                      // A folder whose disk does not answer is refused; what
                      // it says later is of no use any more.
                      if (outcome != DiskCallPool::Outcome::answeredLate) {
                          gathering->give(static_cast<std::size_t>(index), std::move(*found));
                      }
                  });
    }
    co_return co_await gathering->all();
}

Task<bool> FolderProber::answers(QString path)
{
    assertMainThread();
    auto gathering = std::make_shared<Gathering<bool>>(1);
    keep(gathering);
    pool_.run([path] { nearestFolder(path); }, GuiReturn(this), [gathering](DiskCallPool::Outcome outcome) {
        if (outcome != DiskCallPool::Outcome::answeredLate) {
            gathering->give(0, outcome == DiskCallPool::Outcome::answered);
        }
    });
    const std::vector<std::optional<bool>> answered = co_await gathering->all();
    co_return answered.front().value_or(false);
}

void FolderProber::ask(const LibrarySource& source, std::uint64_t filesystem, Waiter waiter)
{
    Slot& slot = slots_[source.id];
    switch (slot.state) {
    case Slot::State::stuck:
        waiter.gathering->give(waiter.slot, std::nullopt);
        return;
    case Slot::State::held:
        slot.source = source;
        slot.waiters.push_back(std::move(waiter));
        return;
    case Slot::State::out:
        if (!slot.started->load() && probesAlike(slot.source, source)) {
            slot.waiters.push_back(std::move(waiter));
        } else {
            slot.next = source;
            slot.following.push_back(std::move(waiter));
        }
        return;
    case Slot::State::idle:
        break;
    }
    Filesystem& disk = filesystems_[filesystem];
    if (disk.stuck > 0) {
        waiter.gathering->give(waiter.slot, std::nullopt);
        return;
    }
    slot.source = source;
    slot.filesystem = filesystem;
    slot.waiters.push_back(std::move(waiter));
    if (disk.scouting) {
        slot.state = Slot::State::held;
        disk.held.append(source.id);
        return;
    }
    disk.scouting = true;
    disk.scout = source.id;
    launch(source.id, slot);
}

void FolderProber::launch(const QUuid& id, Slot& slot)
{
    slot.state = Slot::State::out;
    slot.started = std::make_shared<std::atomic<bool>>(false);
    auto result = std::make_shared<Result>();
    pool_.run(
        [probe = probe_, source = slot.source, started = slot.started, dead = filesystems_[slot.filesystem].dead,
         result] {
            started->store(true);
            if (dead->load()) {
                result->skipped = true;
                return;
            }
            result->probe = probe(source);
        },
        GuiReturn(this), [this, id, result](DiskCallPool::Outcome outcome) { told(id, *result, outcome); });
}

void FolderProber::told(const QUuid& id, const Result& result, DiskCallPool::Outcome outcome)
{
    Slot& slot = slots_[id];
    Filesystem& disk = filesystems_[slot.filesystem];
    const bool scouted = disk.scouting && disk.scout == id;
    switch (outcome) {
    case DiskCallPool::Outcome::answered: {
        const std::optional<FolderProbe> answer = result.skipped ? std::nullopt : result.probe;
        for (const Waiter& waiter : std::exchange(slot.waiters, {})) {
            waiter.gathering->give(waiter.slot, answer);
        }
        if (scouted) {
            releaseHeld(slot.filesystem, !result.skipped);
        }
        if (slot.next) {
            slot.source = *std::exchange(slot.next, std::nullopt);
            slot.waiters = std::exchange(slot.following, {});
            launch(id, slot);
        } else {
            slot.state = Slot::State::idle;
        }
        return;
    }
    case DiskCallPool::Outcome::stuck:
        slot.state = Slot::State::stuck;
        ++disk.stuck;
        disk.dead->store(true);
        for (const Waiter& waiter : std::exchange(slot.waiters, {})) {
            waiter.gathering->give(waiter.slot, std::nullopt);
        }
        for (const Waiter& waiter : std::exchange(slot.following, {})) {
            waiter.gathering->give(waiter.slot, std::nullopt);
        }
        slot.next.reset();
        if (scouted) {
            releaseHeld(slot.filesystem, false);
        }
        return;
    case DiskCallPool::Outcome::answeredLate:
        slot.state = Slot::State::idle;
        if (--disk.stuck == 0) {
            disk.dead->store(false);
        }
        answeredLate_();
        return;
    }
}

// The first probe on a filesystem has answered, or proved it dead: the
// sources held behind it are probed now, or answered none.
void FolderProber::releaseHeld(std::uint64_t filesystem, bool answered)
{
    Filesystem& disk = filesystems_[filesystem];
    disk.scouting = false;
    for (const QUuid& id : std::exchange(disk.held, {})) {
        Slot& slot = slots_[id];
        if (slot.state != Slot::State::held) {
            continue;
        }
        if (answered) {
            launch(id, slot);
            continue;
        }
        slot.state = Slot::State::idle;
        for (const Waiter& waiter : std::exchange(slot.waiters, {})) {
            waiter.gathering->give(waiter.slot, std::nullopt);
        }
    }
}

} // namespace pivra
