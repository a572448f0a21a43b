#pragma once

#include "catalog/model/LibrarySource.h"
#include "platform/runtime/Task.h"
#include "platform/runtime/threads/DiskCallPool.h"
#include "store/FolderProbe.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace pivra {

template<typename T>
class Gathering;

// Reads the disks for the store off the GUI thread, on a few threads of its
// own (a DiskCallPool): what each folder source's folder looks like now, for
// the access passes, and what the folders the user chose to add are.
//
// A source asked about gets the answer of a probe begun after it was asked:
// a probe still queued is shared by every pass that asks meanwhile, and one
// already reading is followed by another, so a burst of passes costs each
// source at most two probes. A busy machine only makes the answers come
// later: a source is answered "none" (its disk does not answer) only once a
// probe on its filesystem has slept in it for the time limit. From then on
// every source on that filesystem is answered none at once, without a probe,
// until the stuck one returns; then `answeredLate` is told, so that the owner
// looks again. On each filesystem one source is probed first, and the others
// only once it has answered: a share that died holds one thread, not one per
// source. A source's filesystem is the one its folder lies on, whatever disk
// the links in its path lie on.
class FolderProber : public QObject {
public:
    using Probe = std::function<FolderProbe(const LibrarySource&)>;

    // GUI thread; `answeredLate` is called there.
    FolderProber(Probe probe, DiskCallPool::Limits limits, std::function<void()> answeredLate);
    ~FolderProber() override;

    // The answer for each of `sources` (folder sources), in their order;
    // none for a source whose disk does not answer.
    Task<std::vector<std::optional<FolderProbe>>> probe(QList<LibrarySource> sources);
    // What each chosen folder is; none for one whose disk does not answer.
    Task<std::vector<std::optional<ChosenFolder>>> inspect(QStringList paths);
    // Whether the disk of `path` (or of its nearest existing ancestor)
    // answers a look at it within the time limit, so that a dialog may open
    // there without the GUI thread waiting on a share that went away.
    Task<bool> answers(QString path);

    // The threads reading the disks now, for tests and benchmarks.
    int threads() const { return pool_.threads(); }

private:
    struct Waiter {
        std::shared_ptr<Gathering<FolderProbe>> gathering;
        std::size_t slot = 0;
    };
    struct Slot {
        enum class State { idle, held, out, stuck };
        State state = State::idle;
        std::uint64_t filesystem = 0; // the device number of the one its folder lies on
        LibrarySource source; // the record probed, or to be probed once its filesystem answers
        std::shared_ptr<std::atomic<bool>> started;
        std::vector<Waiter> waiters;
        // Asked about while its probe was reading already: the next probe's.
        std::optional<LibrarySource> next;
        std::vector<Waiter> following;
    };
    struct Filesystem {
        bool scouting = false;
        QUuid scout;
        QList<QUuid> held;
        int stuck = 0;
        std::shared_ptr<std::atomic<bool>> dead = std::make_shared<std::atomic<bool>>(false);
    };
    struct Result;

    void ask(const LibrarySource& source, std::uint64_t filesystem, Waiter waiter);
    void launch(const QUuid& id, Slot& slot);
    void told(const QUuid& id, const Result& result, DiskCallPool::Outcome outcome);
    void releaseHeld(std::uint64_t filesystem, bool answered);
    // Finishes `gathering` when this prober goes first.
    template<typename T>
    void keep(const std::shared_ptr<Gathering<T>>& gathering);

    Probe probe_;
    std::function<void()> answeredLate_;
    QHash<QUuid, Slot> slots_;
    QHash<std::uint64_t, Filesystem> filesystems_; // by device number
    // Every gathering still awaited, and how to let its awaiter go.
    std::vector<std::pair<std::weak_ptr<void>, std::function<void()>>> finishers_;
    DiskCallPool pool_; // last: its calls tell this object, which must still be whole
};

} // namespace pivra
