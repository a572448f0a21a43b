// Previews of items on connected devices.
//
// A grid-sized preview is the device's own thumbnail. A larger one (the
// viewer's), or one of a file the device has no thumbnail for, is drawn here
// with the thumbnail renderer from a local copy: a photo's whole original,
// fetched on the device's copy queue; a video's first few MiB with its index
// (MovieHead.h), enough for the poster frame, fetched as a preview request.
//
// Preview requests wait on the device newest first among those of views,
// background ones behind them (CameraPreviewDemand). A view withdraws its
// request by cancelling the operation it was given: when its turn on the
// device comes and nobody still waits for the preview, it is dropped before
// the device is asked. A grid-sized preview stays wanted while any of the
// completions on its key's list is not withdrawn, preparation's never is.
#include "media/thumbnails/ThumbnailStore.h"

#include "media/camera/CameraPreviewKey.h"
#include "media/camera/CameraSourceManager.h"
#include "media/metadata/ImageOrientation.h"
#include "media/thumbnails/render/JpegPixels.h"
#include "platform/cameras/CameraTemporaries.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>

namespace pivra {
namespace {

// A local copy of a device file, removed with the last step that holds it,
// however the steps end (a store gone meanwhile drops them unrun).
struct LocalCopy {
    explicit LocalCopy(const MediaItem& item) : path(CameraTemporaries::newPath(item.name())) {}
    LocalCopy(const LocalCopy&) = delete;
    LocalCopy& operator=(const LocalCopy&) = delete;
    ~LocalCopy()
    {
        if (!path.isEmpty()) {
            QFile::remove(path);
        }
    }

    const QString path;
};

// A device's thumbnail is made from the stored pixels, so it lies as they
// do; one already shaped as the item shows (a device that turned it) is left.
QImage deviceThumbnailUpright(const QImage& thumbnail, int orientation, const MediaItem& item)
{
    const bool swapsSides = orientation >= 5;
    const bool shownPortrait = item.height() > item.width();
    const bool thumbnailPortrait = thumbnail.height() > thumbnail.width();
    if (thumbnail.isNull() || (swapsSides && item.width() > 0 && thumbnailPortrait == shownPortrait &&
                               thumbnail.height() != thumbnail.width())) {
        return thumbnail;
    }
    return uprightImage(thumbnail, orientation);
}

} // namespace

struct ThumbnailStore::CameraPreview {
    MediaItem item;
    int pixels = gridPixels;
    QString key;
    QString destination;
    bool visible = false;
    std::uint64_t batch = 0;
    std::uint64_t order = 0;
    int orientation = 1; // of the photo, which the device's thumbnail lacks
    // The asker; a grid-sized preview's key list holds it with the others.
    Waiter waiter;
    // Set, under the store's lock, when the preview was found unwanted and
    // dropped: the device's empty answer to it then means nothing.
    std::atomic<bool> declined = false;

    bool grid() const { return pixels == gridPixels; }
};

std::shared_ptr<QueueOperation> ThumbnailStore::requestCameraPreview(const MediaItem& item, int pixels,
                                                                     bool visible, ThumbnailCompletion completion)
{
    const QString key = cameraPreviewKey(item, pixels);
    if (pixels == gridPixels) {
        if (const QImage image = memory_.image(key); !image.isNull()) {
            completion(image, key);
            if (visible) {
                // Answered already: only a withdrawal through a new
                // operation could stop the drawing from the original.
                refineIfSmall(item, key, cameraPreviewFile(locations_, key, pixels), image, {completion, nullptr});
            }
            return nullptr;
        }
    }
    auto preview = std::make_shared<CameraPreview>();
    preview->item = item;
    preview->pixels = pixels;
    preview->key = key;
    preview->destination = cameraPreviewFile(locations_, key, pixels);
    preview->visible = visible;
    preview->batch = visible ? visibleBatch() : 0;
    preview->order = visible ? ++visibleAsked_ : 0;
    preview->waiter.completion = std::move(completion);
    return displayQueue_->add([this, preview](const std::shared_ptr<QueueOperation>& self) {
        preview->waiter.operation = self;
        loadCameraPreview(preview);
    });
}

void ThumbnailStore::loadCameraPreview(const std::shared_ptr<CameraPreview>& preview)
{
    // A grid-sized preview looks at the disk only once it owns the key, so a
    // producer that finished a moment ago is never repeated; the disk answers
    // without the device, so stored previews outlive its connection.
    if (preview->grid() && !joinProduction(preview->key, preview->waiter.completion, preview->waiter.operation)) {
        return;
    }
    const QString& file = preview->destination;
    if (QImage cached = preview->grid() ? loadCachedImage(file) : loadViewerFile(file); !cached.isNull()) {
        endCameraPreview(*preview, cached);
        if (preview->grid() && preview->visible) {
            refineIfSmall(preview->item, preview->key, file, cached, preview->waiter);
        }
        return;
    }
    onMainWithStore(presence_, [preview](ThumbnailStore& store) { store.askCameraDevice(preview); });
}

void ThumbnailStore::askCameraDevice(const std::shared_ptr<CameraPreview>& preview)
{
    if (cameraSources_ == nullptr) {
        endCameraPreview(*preview, {});
        return;
    }
    if (!preview->grid()) {
        drawCameraPreview(preview); // larger than any device's thumbnail
        return;
    }
    preview->orientation = cameraSources_->files().value(preview->item.path()).file.orientation;
    cameraSources_->requestPreview(
        preview->item.path(), preview->pixels,
        [presence = presence_, preview](std::optional<QByteArray> data) {
            onDisplayQueue(presence, [preview, data = std::move(data)](ThumbnailStore& store) {
                store.takeDeviceThumbnail(preview, data);
            });
        },
        demandFor(preview));
}

void ThumbnailStore::takeDeviceThumbnail(const std::shared_ptr<CameraPreview>& preview,
                                         const std::optional<QByteArray>& data)
{
    if (preview->declined) {
        return; // dropped unasked: nobody waits
    }
    if (!data) {
        onMainWithStore(presence_, [preview](ThumbnailStore& store) { store.drawCameraPreview(preview); });
        return;
    }
    // Decoded as the JPEG a device's thumbnail is, never by a reader its
    // bytes choose: a device may send anything.
    const QImage sent = decodeJpegPixels(*data, 0).image;
    const QImage thumbnail = deviceThumbnailUpright(sent, preview->orientation, preview->item);
    keepCameraPreview(*preview, thumbnail); // undecodable data counts as none
    if (preview->visible) {
        refineIfSmall(preview->item, preview->key, preview->destination, thumbnail, preview->waiter);
    }
}

void ThumbnailStore::drawCameraPreview(const std::shared_ptr<CameraPreview>& preview)
{
    if (cameraSources_ == nullptr) {
        endCameraPreview(*preview, {});
        return;
    }
    const QString& path = preview->item.path();
    if (preview->item.kind() == MediaKind::video) {
        cameraSources_->readMovieHead(
            path, demandFor(preview), [presence = presence_, preview](std::optional<QByteArray> head) {
                onDisplayQueue(presence, [preview, head = std::move(head)](ThumbnailStore& store) {
                    if (preview->declined) {
                        return;
                    }
                    const LocalCopy copy(preview->item);
                    QFile file(copy.path);
                    const bool written = head && file.open(QIODevice::WriteOnly) &&
                                         file.write(*head) == head->size() && file.flush();
                    file.close();
                    store.renderCameraCopy(*preview, written ? copy.path : QString());
                });
            });
        return;
    }
    // A copy cannot be withdrawn once asked for: the view is asked now.
    if (!stillWanted(*preview)) {
        return;
    }
    auto copy = std::make_shared<const LocalCopy>(preview->item);
    cameraSources_->exportFile(
        path, copy->path, [presence = presence_, preview, copy](const std::optional<PivraError>& error) {
            onDisplayQueue(presence, [preview, copy, failed = error.has_value()](ThumbnailStore& store) {
                store.renderCameraCopy(*preview, failed ? QString() : copy->path);
            });
        });
}

void ThumbnailStore::renderCameraCopy(const CameraPreview& preview, const QString& copy)
{
    QImage image;
    if (!copy.isEmpty()) {
        MediaItem local = preview.item;
        local.setPath(copy);
        try {
            image = renderFor(local, preview.pixels, preview.destination, DecodeUrgency::visible).image;
        } catch (...) {
            // Whatever failed, everyone waiting still hears back: no image.
        }
    }
    keepCameraPreview(preview, image);
}

void ThumbnailStore::keepCameraPreview(const CameraPreview& preview, QImage image)
{
    try {
        const QString& file = preview.destination;
        if (!(preview.grid() ? persist(image, file) : persistViewerFile(image, file))) {
            image = QImage(); // shown only when kept, so what shows now still shows once the device is gone
        }
    } catch (...) {
        image = QImage();
    }
    endCameraPreview(preview, image);
}

void ThumbnailStore::endCameraPreview(const CameraPreview& preview, const QImage& image)
{
    if (preview.grid()) {
        finish({image, {}}, preview.key, !image.isNull());
        return;
    }
    onMainWithStore(presence_, [waiter = preview.waiter, image](ThumbnailStore&) { waiter.answer(image, std::nullopt); });
}

bool ThumbnailStore::stillWanted(CameraPreview& preview)
{
    std::lock_guard guard(lock_);
    if (preview.declined) {
        return false;
    }
    bool wanted = preview.waiter.wanted();
    if (preview.grid()) {
        const auto found = pending_.find(preview.key);
        wanted = found != pending_.end() && std::ranges::any_of(*found, &Waiter::wanted);
        if (!wanted && found != pending_.end()) {
            pending_.erase(found); // every asker withdrew: the next request of the key starts afresh
        }
    }
    preview.declined = !wanted;
    return wanted;
}

std::uint64_t ThumbnailStore::visibleBatch()
{
    bool open = false;
    if (visibleBatchOpen_.compare_exchange_strong(open, true)) {
        ++visibleBatch_;
        // Closed once the current turn is over; a store gone by then is
        // not touched.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [presence = presence_] {
                const std::lock_guard guard(presence->mutex);
                if (presence->store != nullptr) {
                    presence->store->visibleBatchOpen_ = false;
                }
            },
            Qt::QueuedConnection);
    }
    return visibleBatch_;
}

CameraPreviewDemand ThumbnailStore::demandFor(const std::shared_ptr<CameraPreview>& preview) const
{
    return {preview->visible, preview->batch, preview->order, [presence = presence_, preview] {
                const std::lock_guard guard(presence->mutex);
                return presence->store != nullptr && presence->store->stillWanted(*preview);
            }};
}

void ThumbnailStore::onMainWithStore(const std::shared_ptr<Presence>& presence, CameraStep step)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [presence, step = std::move(step)] {
            ThumbnailStore* store = nullptr;
            {
                const std::lock_guard guard(presence->mutex);
                store = presence->store;
            }
            // Stores are destroyed on the GUI thread, so this one stays while it works here.
            if (store != nullptr) {
                step(*store);
            }
        },
        Qt::QueuedConnection);
}

void ThumbnailStore::onDisplayQueue(const std::shared_ptr<Presence>& presence, CameraStep step)
{
    const std::lock_guard guard(presence->mutex);
    if (ThumbnailStore* store = presence->store) {
        store->displayQueue_->add([store, step = std::move(step)] { step(*store); });
    }
}

} // namespace pivra
