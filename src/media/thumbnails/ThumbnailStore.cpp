#include "media/thumbnails/ThumbnailStore.h"

#include "media/camera/CameraItemPaths.h"
#include "media/camera/CameraSourceManager.h"
#include "media/thumbnails/MediaKey.h"
#include "media/thumbnails/cache/ThumbnailCacheBudget.h"
#include "media/video/VideoPosterFrames.h"
#include "platform/runtime/Cancelled.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace pivra {
namespace {

constexpr int preparationWidth = 3;
constexpr int visibleWidth = 4;

void onMain(std::function<void()> call)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

void answerLater(ThumbnailCompletion completion, QImage image, std::optional<QString> key)
{
    onMain([completion = std::move(completion), image = std::move(image), key = std::move(key)] {
        completion(image, key);
    });
}

std::optional<QString> validOrNone(std::optional<QString> key)
{
    return key && isValidKey(*key) ? key : std::nullopt;
}

} // namespace

ThumbnailStore& ThumbnailStore::shared()
{
    // Never destroyed: operations may still be running when static
    // destructors run, and nothing here needs tearing down at exit.
    static ThumbnailStore* const store = [] {
        auto* made = new ThumbnailStore(ThumbnailLocations::standard(),
                                        std::make_shared<ThumbnailRenderer>(std::make_shared<VideoPosterFrames>()));
        made->setCameraSourceManager(&CameraSourceManager::shared());
        return made;
    }();
    return *store;
}

ThumbnailStore::ThumbnailStore(ThumbnailLocations locations, std::shared_ptr<const ThumbnailRenderer> renderer,
                               ThumbnailStoreLimits limits)
    : locations_(std::move(locations))
    , renderer_(std::move(renderer))
    , limits_(limits)
    , memory_(limits.memoryCost)
    , attempts_(locations_.attemptsDirectory)
    , presence_(std::make_shared<Presence>(this))
    , queue_(std::make_unique<OperationQueue>(QStringLiteral("Pivra thumbnail preparation"), preparationWidth,
                                              PoolPriority::utility))
    , displayQueue_(std::make_unique<OperationQueue>(QStringLiteral("Pivra visible thumbnails"), visibleWidth,
                                                     PoolPriority::userInitiated))
    , preparationPause_(std::make_unique<ScrollPause>(*queue_))
{
    QDir().mkpath(locations_.assetDirectory);
    QDir().mkpath(locations_.viewerDirectory);
}

ThumbnailStore::~ThumbnailStore()
{
    assertMainThread();
    const std::lock_guard guard(presence_->mutex);
    presence_->store = nullptr;
}

std::shared_ptr<QueueOperation> ThumbnailStore::ensure(const MediaItem& item, bool loadImage,
                                                       ThumbnailCompletion completion)
{
    const std::optional<QString> candidate = validOrNone(item.thumbnailKey() ? item.thumbnailKey() : knownKey(item));
    if (loadImage && candidate) {
        if (const QImage image = memory_.image(*candidate); !image.isNull()) {
            completion(image, candidate);
            return nullptr;
        }
    }
    // Without loadImage a memory hit is not enough: preparation vouches for the file.
    OperationQueue& target = loadImage ? *displayQueue_ : *queue_;
    return target.add([this, item, candidate, loadImage, completion = std::move(completion)] {
        produceGridThumbnail(item, candidate, loadImage, completion);
    });
}

void ThumbnailStore::produceGridThumbnail(const MediaItem& item, const std::optional<QString>& candidate,
                                          bool loadImage, const ThumbnailCompletion& completion)
{
    QString key;
    if (candidate && QFileInfo::exists(locations_.gridFile(*candidate))) {
        key = *candidate;
    } else if (const std::optional<QString> computed = contentKey(item)) {
        key = *computed; // normally the same text as a stored key whose file has gone
    } else {
        answerLater(completion, {}, std::nullopt); // unreadable, or its drive is not there
        return;
    }
    const QString file = locations_.gridFile(key);
    if (QFileInfo::exists(file)) {
        if (!loadImage) {
            if (isWholeCachedFile(file)) {
                remember(item, key);
                answerLater(completion, {}, key);
                return;
            }
        } else if (QImage image = loadCachedImage(file); !image.isNull()) {
            remember(item, key);
            memory_.insert(key, image);
            answerLater(completion, image, key);
            return;
        }
        // A grid file that is cut short, torn or no longer decodes is made
        // again under the same key.
    }
    if (refusals_->refusedKey(key)) {
        refusals_->noteAnswer(item.id(), key);
        answerLater(completion, {}, std::nullopt); // refused already, for good
        return;
    }
    // Every asker of a refused key learns it, the owner's duplicates too.
    ThumbnailCompletion noted = [refusals = refusals_, id = item.id(), key, completion](
                                    const QImage& image, const std::optional<QString>& saved) {
        if (!saved) {
            refusals->noteAnswer(id, key);
        }
        completion(image, saved);
    };
    if (!joinProduction(key, std::move(noted))) {
        return;
    }
    try {
        produceOwnedGridThumbnail(item, key, loadImage);
    } catch (...) {
        finish({}, key, false); // whatever failed, nobody on the list waits for ever
    }
}

void ThumbnailStore::produceOwnedGridThumbnail(const MediaItem& item, const QString& key, bool inMemory)
{
    const QString file = locations_.gridFile(key);
    // The previous producer of this key may have finished between our look at
    // the disk and our claim; its file spares a second render.
    if (QImage image = loadCachedImage(file); !image.isNull()) {
        remember(item, key);
        finish({image, {}}, key, true, inMemory);
        return;
    }
    if (QImage image = adoptLegacyThumbnail(item, file); !image.isNull()) {
        remember(item, key);
        finish({image, {}}, key, true, inMemory);
        return;
    }
    const Rendering rendering
        = renderFor(item, gridPixels, file, inMemory ? DecodeUrgency::visible : DecodeUrgency::background);
    const bool saved = !rendering.image.isNull() && persist(rendering.image, file);
    if (saved) {
        remember(item, key);
    } else if (rendering.refused) {
        refusals_->refuse(key);
    }
    finish(rendering, key, saved, inMemory);
}

bool ThumbnailStore::joinProduction(const QString& requestKey, ThumbnailCompletion completion,
                                    std::shared_ptr<const QueueOperation> operation)
{
    Waiter waiter{std::move(completion), std::move(operation)};
    std::lock_guard guard(lock_);
    if (const auto found = pending_.find(requestKey); found != pending_.end()) {
        found->push_back(std::move(waiter));
        return false;
    }
    pending_.insert(requestKey, {std::move(waiter)});
    return true;
}

void ThumbnailStore::finish(const Rendering& rendering, const QString& requestKey, bool saved, bool inMemory)
{
    if (saved && inMemory && !rendering.image.isNull()) {
        memory_.insert(requestKey, rendering.image);
    }
    std::vector<Waiter> waiting;
    {
        std::lock_guard guard(lock_);
        waiting = pending_.take(requestKey);
    }
    std::optional<QString> key = saved ? std::optional(requestKey) : std::nullopt;
    QString standIn = rendering.image.isNull() ? rendering.standInType : QString();
    onMain([waiting = std::move(waiting), image = rendering.image, standIn = std::move(standIn),
            key = std::move(key)] {
        const QImage shown = standIn.isEmpty() ? image : ThumbnailRenderer::standInImage(standIn, gridPixels);
        for (const Waiter& waiter : waiting) {
            waiter.answer(shown, key);
        }
    });
}

void ThumbnailStore::Waiter::answer(const QImage& image, const std::optional<QString>& key) const
{
    if (wanted()) {
        completion(image, key);
    }
}

QImage ThumbnailStore::adoptLegacyThumbnail(const MediaItem& item, const QString& destination) const
{
    std::optional<QString> root;
    {
        std::lock_guard guard(lock_);
        if (const auto found = sourceRoots_.constFind(item.sourceID()); found != sourceRoots_.cend()) {
            root = *found;
        }
    }
    QStringList candidates;
    if (root) {
        if (const std::optional<QString> portable = oldPortableFile(item, *root)) {
            candidates << *portable;
        }
    }
    candidates << locations_.legacyCacheFile(item);
    return adoptThumbnail(candidates, destination);
}

void ThumbnailStore::remember(const MediaItem& item, const QString& key)
{
    std::lock_guard guard(lock_);
    knownKeys_.insert(item.id(), {item.modifiedAt(), item.fileSize(), key});
}

std::optional<QString> ThumbnailStore::knownKey(const MediaItem& item) const
{
    std::lock_guard guard(lock_);
    const auto found = knownKeys_.constFind(item.id());
    if (found == knownKeys_.cend() || found->modifiedAt != item.modifiedAt() || found->fileSize != item.fileSize()) {
        return std::nullopt;
    }
    return found->key;
}

std::shared_ptr<QueueOperation> ThumbnailStore::request(const MediaItem& item, int pixels,
                                                        PreviewCompletion completion)
{
    assertMainThread();
    auto imageOnly = [completion](const QImage& image, const std::optional<QString>&) { completion(image); };
    if (isCameraItem(item)) {
        return requestCameraPreview(item, pixels, true, std::move(imageOnly));
    }
    if (pixels == gridPixels) {
        return ensure(item, true, std::move(imageOnly));
    }
    queue_->add([this, item, pixels, completion = std::move(completion)] {
        produceViewerPreview(item, pixels, completion);
    }, OperationUrgency::urgent);
    return nullptr;
}

void ThumbnailStore::produceViewerPreview(const MediaItem& item, int pixels, const PreviewCompletion& completion)
{
    const QString file = locations_.viewerPreviewFile(item, pixels);
    QImage image;
    bool rendered = false;
    try {
        image = loadViewerFile(file);
        if (image.isNull()) {
            image = renderFor(item, pixels, file, DecodeUrgency::visible).image;
            rendered = true;
        }
    } catch (...) {
        // Whatever failed (a decoder, memory), the viewer still gets its answer: no image.
    }
    // The viewer shows the picture while it is encoded and kept, and shows
    // it even when it cannot be kept.
    onMain([completion, image] { completion(image); });
    try {
        if (rendered) {
            persistViewerFile(image, file);
        }
    } catch (...) {
        // not kept: made again when next asked for
    }
}

Rendering ThumbnailStore::renderFor(const MediaItem& item, int pixels, const QString& destination,
                                    DecodeUrgency urgency)
{
    const std::unique_ptr<RenderAttempts::Attempt> attempt = attempts_.begin(QFileInfo(destination).fileName());
    return attempt ? renderer_->render(item, pixels, urgency) : Rendering::refusal();
}

bool ThumbnailStore::takeRefusal(const MediaItem& item)
{
    return refusals_->take(item.id());
}

void ThumbnailStore::Refusals::refuse(const QString& key)
{
    std::lock_guard guard(mutex);
    keys.insert(key);
}

bool ThumbnailStore::Refusals::refusedKey(const QString& key)
{
    std::lock_guard guard(mutex);
    return keys.contains(key);
}

void ThumbnailStore::Refusals::noteAnswer(const QString& itemID, const QString& key)
{
    std::lock_guard guard(mutex);
    if (keys.contains(key)) {
        itemIDs.insert(itemID);
    }
}

bool ThumbnailStore::Refusals::take(const QString& itemID)
{
    std::lock_guard guard(mutex);
    return itemIDs.remove(itemID);
}

QImage ThumbnailStore::loadViewerFile(const QString& file) const
{
    QImage cached = loadCachedImage(file);
    if (!cached.isNull()) {
        markUsed(file);
    }
    return cached;
}

bool ThumbnailStore::persistViewerFile(const QImage& image, const QString& file) const
{
    if (!persist(image, file)) {
        return false;
    }
    trimToBudget(locations_.viewerDirectory, limits_.viewerPreviewBytes, file);
    return true;
}

ThumbnailStore::PrepareAwaiter ThumbnailStore::prepare(const MediaItem& item)
{
    return PrepareAwaiter(*this, item);
}

std::optional<QString> ThumbnailStore::PrepareAwaiter::await_resume() const
{
    if (outcome_->dropped) {
        throw Cancelled();
    }
    return outcome_->key;
}

ThumbnailStore::PrepareAwaiter::Answer::~Answer()
{
    if (!given_.exchange(true)) {
        outcome_->dropped = true;
        resume();
    }
}

void ThumbnailStore::PrepareAwaiter::Answer::give(const std::optional<QString>& key)
{
    if (!given_.exchange(true)) {
        outcome_->key = key;
        resume();
    }
}

void ThumbnailStore::PrepareAwaiter::Answer::resume()
{
    detail::resumeOnMain(state_, frame_);
    detail::workDelivered();
}

void ThumbnailStore::startPreparation(const MediaItem& item, ThumbnailCompletion completion)
{
    if (isCameraItem(item)) {
        requestCameraPreview(item, gridPixels, false, std::move(completion)); // never withdrawn
    } else {
        ensure(item, false, std::move(completion));
    }
}

QImage ThumbnailStore::cachedPreview(const MediaItem& item)
{
    const std::optional<QString> key = validOrNone(item.thumbnailKey() ? item.thumbnailKey() : knownKey(item));
    if (!key) {
        return {};
    }
    return memory_.image(*key);
}

StorageMeasure ThumbnailStore::footprint(const QStringList& keys) const
{
    return pivra::footprint(keys, [this](const QString& key) { return locations_.gridFile(key); });
}

void ThumbnailStore::deleteThumbnails(const QStringList& keys)
{
    QSet<QString> deleted;
    for (const QString& key : keys) {
        if (isValidKey(key)) {
            deleted.insert(key);
        }
    }
    for (const QString& key : deleted) {
        memory_.remove(key);
        QFile::remove(locations_.gridFile(key));
    }
    std::lock_guard guard(lock_);
    knownKeys_.removeIf([&deleted](const auto& entry) { return deleted.contains(entry.value().key); });
}

StorageMeasure ThumbnailStore::diskStats(const QString& directory)
{
    return pivra::diskStats(directory);
}

void ThumbnailStore::setSourceRoots(QHash<QUuid, QString> roots)
{
    std::lock_guard guard(lock_);
    sourceRoots_ = std::move(roots);
}

void ThumbnailStore::setCameraSourceManager(CameraSourceManager* manager)
{
    assertMainThread();
    cameraSources_ = manager;
}

} // namespace pivra
