#pragma once

#include "catalog/MediaItem.h"
#include "media/OperationQueue.h"
#include "media/OperationQueueScrollPause.h"
#include "media/ThumbnailCache.h"
#include "media/ThumbnailCacheMemory.h"
#include "media/ThumbnailCacheStats.h"
#include "media/ThumbnailRenderer.h"
#include "platform/Dispatcher.h"
#include "platform/TaskHandle.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <coroutine>
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

// Answers requests for items on connected devices, which cannot be hashed or
// rendered from a file. Installed by the camera work; with none installed
// such items get no image.
using CameraPreviewHandler = std::function<void(const MediaItem& item, int pixels, ThumbnailCompletion completion)>;

struct ThumbnailStoreLimits {
    std::int64_t memoryCost = std::int64_t(256) << 20;    // decoded pixels kept in memory
    std::int64_t viewerPreviewBytes = std::int64_t(1) << 30; // the viewer cache on disk
};

// Finds, renders, caches and stores the small images of the program: grid
// thumbnails named by media key (in memory and in the grid store) and the
// viewer's larger previews (in the cache folder).
//
// One lock guards the source roots, the known-key memo and the lists of
// completions waiting for a key in production. It is held only for short
// lookups and updates: no file is read or written and no completion is called
// under it, and no other lock is taken inside it.
//
// Requests for one key at the same time are coalesced: the first operation
// that finds the key's grid file missing produces it, later ones leave their
// completion on its list, and every completion on the list is answered once,
// in the order they came, when the production ends, whatever its outcome.
class ThumbnailStore {
public:
    // The program's store, under the user's data and cache folders. Created on
    // first use and never destroyed.
    static ThumbnailStore& shared();

    ThumbnailStore(ThumbnailLocations locations, std::shared_ptr<const ThumbnailRenderer> renderer,
                   ThumbnailStoreLimits limits = {});
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
    // memory and never cancelled. Device items go to the camera handler.
    // GUI thread.
    std::shared_ptr<QueueOperation> request(const MediaItem& item, int pixels, PreviewCompletion completion);

    class PrepareAwaiter;
    // `co_await store.prepare(item)` in a task: the item's grid thumbnail key
    // once its file exists, none when it could not be made.
    PrepareAwaiter prepare(const MediaItem& item);

    // The grid thumbnail if it is already at hand, from memory or from the
    // grid store; nothing is computed. Any thread, for drag images.
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
    void setCameraPreviewHandler(CameraPreviewHandler handler);

    const ThumbnailLocations& locations() const { return locations_; }
    const QString& assetDirectory() const { return locations_.assetDirectory; }
    ThumbnailMemoryCache& memory() { return memory_; }
    OperationQueue& queue() { return *queue_; }
    OperationQueue& displayQueue() { return *displayQueue_; }
    ScrollPause& preparationPause() { return *preparationPause_; }

    // Building blocks of every producer of a keyed thumbnail (the camera
    // previews use them too). joinProduction leaves the completion for the
    // key and answers whether the caller is the one to produce it; the
    // producer then ends with finish, which remembers a saved image and
    // answers every waiting completion on the GUI thread with (image, key when
    // saved). An unsaved rendering is still shown, without a key; a stand-in
    // icon is drawn there for a file nothing could render.
    bool joinProduction(const QString& requestKey, ThumbnailCompletion completion);
    void finish(const Rendering& rendering, const QString& requestKey, bool saved);

private:
    void produceGridThumbnail(const MediaItem& item, const std::optional<QString>& candidate, bool loadImage,
                              const ThumbnailCompletion& completion);
    void produceOwnedGridThumbnail(const MediaItem& item, const QString& key);
    void produceViewerPreview(const MediaItem& item, int pixels, const PreviewCompletion& completion);
    QImage viewerPreview(const MediaItem& item, int pixels);
    bool copyLegacyThumbnail(const MediaItem& item, const QString& destination) const;
    void remember(const MediaItem& item, const QString& key);
    void startPreparation(const MediaItem& item, ThumbnailCompletion completion);
    void askCamera(const MediaItem& item, int pixels, ThumbnailCompletion completion);

    struct KnownKey {
        Timestamp modifiedAt;
        std::int64_t fileSize;
        QString key;
    };

    const ThumbnailLocations locations_;
    const std::shared_ptr<const ThumbnailRenderer> renderer_;
    const ThumbnailStoreLimits limits_;
    ThumbnailMemoryCache memory_;

    mutable std::mutex lock_;
    QHash<QUuid, QString> sourceRoots_;
    QHash<QString, KnownKey> knownKeys_;
    QHash<QString, std::vector<ThumbnailCompletion>> pending_;

    CameraPreviewHandler cameraPreviews_; // set once at start-up, before requests

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
        store_.startPreparation(item_, [result = result_, state = frame.promise().state,
                                        frame](const QImage&, const std::optional<QString>& key) {
            *result = key;
            detail::resumeOnMain(state, frame);
            detail::workDelivered();
        });
    }

    std::optional<QString> await_resume() const { return *result_; }

private:
    ThumbnailStore& store_;
    MediaItem item_;
    std::shared_ptr<std::optional<QString>> result_ = std::make_shared<std::optional<QString>>();
};

} // namespace pivra
