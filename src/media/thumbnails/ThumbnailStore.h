#pragma once

#include "catalog/model/MediaItem.h"
#include "media/thumbnails/OperationQueue.h"
#include "media/thumbnails/OperationQueueScrollPause.h"
#include "media/thumbnails/render/RenderAttempts.h"
#include "media/thumbnails/cache/ThumbnailCache.h"
#include "media/thumbnails/cache/ThumbnailCacheMemory.h"
#include "media/thumbnails/cache/ThumbnailCacheStats.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/TaskHandle.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <coroutine>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace pivra {

// (image or none, key or none). Called on the GUI thread, later; only a
// memory-cache hit is answered at once, on the caller's own thread, before
// the call that asked returns.
using ThumbnailCompletion = std::function<void(const QImage& image, const std::optional<QString>& key)>;
using PreviewCompletion = std::function<void(const QImage& image)>;

class CameraSourceManager;
struct CameraPreviewDemand;

struct ThumbnailStoreLimits {
    std::int64_t memoryCost = std::int64_t(256) << 20;    // decoded pixels kept in memory
    // What memory keeps once the grid is left alone (restMemory): about
    // sixty thumbnails besides those on screen, which their tiles hold anyway.
    std::int64_t restingMemoryCost = std::int64_t(32) << 20;
    std::int64_t viewerPreviewBytes = std::int64_t(1) << 30; // the viewer cache on disk
};

// Finds, renders, caches and stores the small images of the program: grid
// thumbnails named by media key (in memory and in the grid store), the
// viewer's larger previews (in the cache folder), and previews of items on
// connected devices, named by their camera key (CameraPreviewKey.h) and
// stored like the others by size: the device's own thumbnail at the grid's
// size, and anything larger drawn here from the original.
//
// One lock guards the source roots, the known-key memo and the lists of
// completions waiting for a key in production. It is held only for short
// lookups and updates: no file is read or written and no completion is called
// under it, and no other lock is taken inside it.
//
// Requests for one key at the same time are coalesced: the first operation
// that finds the key's grid file missing produces it, later ones leave their
// completion on its list, and every completion on the list is answered once,
// in the order they came, when the production ends, whatever its outcome;
// only a device preview's asker withdraws by cancelling its operation, and is
// then never answered.
class ThumbnailStore {
public:
    // The program's store, under the user's data and cache folders. Created on
    // first use and never destroyed.
    static ThumbnailStore& shared();

    ThumbnailStore(ThumbnailLocations locations, std::shared_ptr<const ThumbnailRenderer> renderer,
                   ThumbnailStoreLimits limits = {});
    // On the GUI thread, where the steps of device previews check that the
    // store is still there.
    ~ThumbnailStore();

    ThumbnailStore(const ThumbnailStore&) = delete;
    ThumbnailStore& operator=(const ThumbnailStore&) = delete;

    // The item's grid thumbnail. With loadImage (a view waits) the work runs on
    // the visible-thumbnail queue and the image is loaded; without (background
    // preparation) on the preparation queue, and only the key is answered. The
    // completion is called exactly once, unless the returned operation is
    // cancelled before it starts (a cell scrolled away). No operation is made
    // when a memory hit answers at once.
    std::shared_ptr<QueueOperation> ensure(const MediaItem& item, bool loadImage, ThumbnailCompletion completion);

    // What views ask: 420 pixels is the grid thumbnail; any other size is a
    // viewer preview, made on the preparation queue ahead of waiting
    // background work, cached on disk by item, time and size, never kept in
    // memory and never cancelled. Device items ask their device (below), and
    // cancelling their operation withdraws the request: it is never
    // answered, and unless another request waits for the same preview, the
    // device is not asked. A device photo's grid preview that is the device's
    // small thumbnail is answered a second time once it is drawn from the
    // original, unless the operation was cancelled by then. GUI thread.
    std::shared_ptr<QueueOperation> request(const MediaItem& item, int pixels, PreviewCompletion completion);

    class PrepareAwaiter;
    // `co_await store.prepare(item)` in a task: the item's grid thumbnail key
    // once its file exists, none when it could not be made.
    PrepareAwaiter prepare(const MediaItem& item);

    // Whether the item's last grid thumbnail failed because its file is
    // refused until it changes (Rendering::refused); answered once.
    bool takeRefusal(const MediaItem& item);

    // The grid thumbnail if it is in memory; nothing is read or computed, so
    // a drag image never waits for a disk. Any thread.
    QImage cachedPreview(const MediaItem& item);

    // The key this run last found for the item, while its modification time
    // and size are unchanged.
    std::optional<QString> knownKey(const MediaItem& item) const;

    // Storage upkeep: plain blocking file work, so callers run it on a pool
    // thread (runOnPool), never on the GUI thread.
    StorageMeasure footprint(const QStringList& keys) const; // allocated sizes of the keys' grid files
    void deleteThumbnails(const QStringList& keys);           // grid files, memory entries and memo
    static StorageMeasure diskStats(const QString& directory);

    // Roots of the folder sources, for thumbnails earlier versions kept inside them.
    void setSourceRoots(QHash<QUuid, QString> roots);
    // The manager through which previews of device items are asked for; with
    // none (the default, or nullptr) they fail as for a disconnected device,
    // though previews stored earlier still show. GUI thread, like every use
    // of the manager; it must outlive the store or be unset before it goes.
    void setCameraSourceManager(CameraSourceManager* manager);
    CameraSourceManager* cameraSourceManager() const { return cameraSources_; }

    const ThumbnailLocations& locations() const { return locations_; }
    const QString& assetDirectory() const { return locations_.assetDirectory; }
    ThumbnailMemoryCache& memory() { return memory_; }
    // Lets memory keep only the most recently used thumbnails, within the
    // resting budget: what a browse through a large gallery filled is not
    // held while nobody browses. Any thread.
    void restMemory() { memory_.shrinkTo(limits_.restingMemoryCost); }
    // Lets every thumbnail in memory go, but for those a tile on screen
    // holds itself: for something about to need far more (a 4K video's
    // decoders). Any thread.
    void releaseMemory() { memory_.clear(); }
    OperationQueue& queue() { return *queue_; }
    OperationQueue& displayQueue() { return *displayQueue_; }
    ScrollPause& preparationPause() { return *preparationPause_; }

    // Building blocks of every producer of a keyed thumbnail (the camera
    // previews use them too). joinProduction leaves the completion for the
    // key and answers whether the caller is the one to produce it; with an
    // operation, cancelling it withdraws the completion. The producer then
    // ends with finish, which remembers a saved image (unless `inMemory` is
    // false: background preparation's images are on disk for the grid, and
    // nobody is looking at them now) and answers every waiting completion not
    // withdrawn on the GUI thread with (image, key when saved). An unsaved
    // rendering is still shown, without a key; a stand-in icon is drawn there
    // for a file nothing could render.
    bool joinProduction(const QString& requestKey, ThumbnailCompletion completion,
                        std::shared_ptr<const QueueOperation> operation = nullptr);
    void finish(const Rendering& rendering, const QString& requestKey, bool saved, bool inMemory = true);

private:
    // A completion and the operation of the request it answers, if cancelling
    // that withdraws it.
    struct Waiter {
        ThumbnailCompletion completion;
        std::shared_ptr<const QueueOperation> operation;

        bool wanted() const { return !operation || !operation->isCancelled(); }
        // On the GUI thread; nothing once withdrawn.
        void answer(const QImage& image, const std::optional<QString>& key) const;
    };

    void produceGridThumbnail(const MediaItem& item, const std::optional<QString>& candidate, bool loadImage,
                              const ThumbnailCompletion& completion);
    void produceOwnedGridThumbnail(const MediaItem& item, const QString& key, bool inMemory);
    void produceViewerPreview(const MediaItem& item, int pixels, const PreviewCompletion& completion);
    // The renderer's drawing of the item, made while an attempt at the file
    // `destination` is held; nothing drawn when earlier runs of the program
    // ended while drawing it (RenderAttempts.h).
    Rendering renderFor(const MediaItem& item, int pixels, const QString& destination, DecodeUrgency urgency);
    QImage adoptLegacyThumbnail(const MediaItem& item, const QString& destination) const;
    void remember(const MediaItem& item, const QString& key);
    QImage loadViewerFile(const QString& file) const;
    bool persistViewerFile(const QImage& image, const QString& file) const;
    void startPreparation(const MediaItem& item, ThumbnailCompletion completion);

    // Device previews (ThumbnailStoreCamera.cpp). A grid-sized one is the
    // device's thumbnail, coalesced by camera key like a grid thumbnail and
    // answered with its key; other sizes are drawn from the original and
    // answered alone, without a key. The way is: the caller's thread
    // (memory), the visible queue (disk), the GUI thread (the manager), the
    // device's thread, the visible queue again (decoding or drawing, and
    // writing). Each request is answered once, whatever the device does,
    // unless every asker withdrew; a preview that cannot be written counts
    // as none.
    struct CameraPreview;
    using CameraStep = std::function<void(ThumbnailStore& store)>;
    std::shared_ptr<QueueOperation> requestCameraPreview(const MediaItem& item, int pixels, bool visible,
                                                         ThumbnailCompletion completion);
    void loadCameraPreview(const std::shared_ptr<CameraPreview>& preview);
    void askCameraDevice(const std::shared_ptr<CameraPreview>& preview);
    void drawCameraPreview(const std::shared_ptr<CameraPreview>& preview);
    void takeDeviceThumbnail(const std::shared_ptr<CameraPreview>& preview, const std::optional<QByteArray>& data);
    void renderCameraCopy(const CameraPreview& preview, const QString& copy);
    void keepCameraPreview(const CameraPreview& preview, QImage image);
    void endCameraPreview(const CameraPreview& preview, const QImage& image);
    bool stillWanted(CameraPreview& preview);
    CameraPreviewDemand demandFor(const std::shared_ptr<CameraPreview>& preview) const;
    // A visible grid preview of a device photo that was only the device's
    // small thumbnail is drawn again from the original
    // (ThumbnailStoreCameraRefinement.cpp): one at a time, the newest asked
    // first, while its asker still wants it, answered to it a second time
    // and kept under the same key.
    struct CameraRefinement {
        MediaItem item;
        QString key;
        QString destination;
        Waiter waiter;
    };
    void refineIfSmall(const MediaItem& item, const QString& key, const QString& destination, const QImage& shown,
                       const Waiter& waiter);
    void refineNext();
    void keepRefinement(const CameraRefinement& refinement, const QString& copy);
    std::vector<CameraRefinement> refinements_; // under lock_, newest last
    bool refining_ = false;                     // under lock_
    // The batch of the visible previews asked for in this turn of the GUI
    // thread: a view asks for its cells in one turn, in the order it wants
    // them, and a later turn's cells are the newer ones.
    std::uint64_t visibleBatch();
    std::atomic<std::uint64_t> visibleBatch_{0};
    // Counts the visible previews asked for, so a batch keeps the order in
    // which they were asked, though they reach the device from several
    // threads.
    std::atomic<std::uint64_t> visibleAsked_{0};
    std::atomic<bool> visibleBatchOpen_{false};

    // Lets work that outlives a call (a device's answer, a step posted to the
    // GUI thread) reach the store only while it exists. The destructor clears
    // the pointer under the mutex, so it waits for a device thread that holds
    // the store.
    struct Presence {
        ThumbnailStore* store;
        std::mutex mutex;
    };

    // `step` on the GUI thread or the visible queue, if the store is still
    // there then; callable from any thread.
    static void onMainWithStore(const std::shared_ptr<Presence>& presence, CameraStep step);
    static void onDisplayQueue(const std::shared_ptr<Presence>& presence, CameraStep step);

    struct KnownKey {
        Timestamp modifiedAt;
        std::int64_t fileSize;
        QString key;
    };

    const ThumbnailLocations locations_;
    const std::shared_ptr<const ThumbnailRenderer> renderer_;
    const ThumbnailStoreLimits limits_;
    ThumbnailMemoryCache memory_;
    RenderAttempts attempts_;

    mutable std::mutex lock_;
    QHash<QUuid, QString> sourceRoots_;
    QHash<QString, KnownKey> knownKeys_;
    QHash<QString, std::vector<Waiter>> pending_;
    // Keys whose file was refused until it changes (Rendering::refused), and
    // the items answered so, until the pipeline takes them. Shared with the
    // completions that note the answers, which may outlive the store.
    struct Refusals {
        std::mutex mutex;
        QSet<QString> keys;
        QSet<QString> itemIDs;

        void refuse(const QString& key);
        bool refusedKey(const QString& key);
        void noteAnswer(const QString& itemID, const QString& key);
        bool take(const QString& itemID);
    };
    const std::shared_ptr<Refusals> refusals_ = std::make_shared<Refusals>();

    CameraSourceManager* cameraSources_ = nullptr; // GUI thread only
    const std::shared_ptr<Presence> presence_;

    // Last: destroyed first, so operations still running finish while
    // everything they use exists, and waiting ones are dropped unanswered.
    std::unique_ptr<OperationQueue> queue_;
    std::unique_ptr<OperationQueue> displayQueue_;
    std::unique_ptr<ScrollPause> preparationPause_;
};

class ThumbnailStore::PrepareAwaiter {
public:
    PrepareAwaiter(ThumbnailStore& store, MediaItem item) : store_(store), item_(std::move(item)) {}

    bool await_ready() const noexcept { return false; }

    template<detail::RuntimePromise Promise>
    void await_suspend(std::coroutine_handle<Promise> frame)
    {
        assertMainThread();
        detail::workQueued();
        auto answer = std::make_shared<Answer>(outcome_, frame.promise().state, frame);
        store_.startPreparation(item_, [answer](const QImage&, const std::optional<QString>& key) {
            answer->give(key);
        });
    }

    // Throws Cancelled when the preparation was dropped unanswered.
    std::optional<QString> await_resume() const;

private:
    struct Outcome {
        std::optional<QString> key;
        bool dropped = false;
    };

    // Resumes the waiting task once: with the key when it is answered, or as
    // stopped when the last copy of its completion goes unanswered (a store
    // going away drops its queued operations), so that the task neither waits
    // for ever nor holds drain() up.
    class Answer {
    public:
        Answer(std::shared_ptr<Outcome> outcome, std::shared_ptr<TaskState> state, std::coroutine_handle<> frame)
            : outcome_(std::move(outcome)), state_(std::move(state)), frame_(frame)
        {
        }
        Answer(const Answer&) = delete;
        Answer& operator=(const Answer&) = delete;
        ~Answer();

        void give(const std::optional<QString>& key);

    private:
        void resume();

        std::shared_ptr<Outcome> outcome_;
        std::shared_ptr<TaskState> state_;
        std::coroutine_handle<> frame_;
        std::atomic<bool> given_{false};
    };

    ThumbnailStore& store_;
    MediaItem item_;
    std::shared_ptr<Outcome> outcome_ = std::make_shared<Outcome>();
};

} // namespace pivra
