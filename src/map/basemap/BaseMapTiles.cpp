#include "map/basemap/BaseMapTiles.h"

#include "map/basemap/LabelPlacement.h"
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/Pool.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <algorithm>
#include <mutex>

#include <utility>

namespace pivra {

namespace {

// Workers drawing tiles: the view never waits for them, and two leave the
// rest of the machine to thumbnails.
constexpr int drawingThreads = 2;

QThreadPool& drawingPool();

// Drawing needs the application's fonts: the application waits for a tile
// still being drawn as it begins to close, before they go, while the tiles
// not started yet are dropped and names being placed are given up. No view
// ever waits.
void finishDrawing()
{
    drawingPool().clear();
    LabelPlacement::stopAll();
    drawingPool().waitForDone();
}

// Shared by every map and never destroyed itself.
QThreadPool& drawingPool()
{
    static QThreadPool* const pool = [] {
        auto* made = new QThreadPool;
        made->setMaxThreadCount(drawingThreads);
        made->setObjectName(QStringLiteral("Pivra base map tiles"));
        qAddPostRoutine(finishDrawing);
        return made;
    }();
    return *pool;
}

// A renderer let go of may be the last to hold the map's data, tens of
// megabytes in many blocks, whose freeing is no work for the GUI thread.
void letGo(std::shared_ptr<const BaseMapRenderer> renderer)
{
    if (renderer) {
        BackgroundReleaser::shared().release(std::const_pointer_cast<BaseMapRenderer>(std::move(renderer)));
    }
}

} // namespace

BaseMapTiles::RendererSource BaseMapTiles::programData()
{
    // One renderer for every map while any holds it, so that the names of a
    // zoom are placed once, whichever worker or map asks first.
    return [] {
        static std::mutex lock;
        static std::weak_ptr<const BaseMapRenderer> shared;
        const std::lock_guard guard(lock);
        std::shared_ptr<const BaseMapRenderer> renderer = shared.lock();
        if (!renderer) {
            renderer = std::make_shared<const BaseMapRenderer>(BaseMapData::shared());
            shared = renderer;
        }
        return renderer;
    };
}

BaseMapTiles::RendererSource BaseMapTiles::fixed(std::shared_ptr<const BaseMapRenderer> renderer)
{
    return [renderer = std::move(renderer)] { return renderer; };
}

BaseMapTiles::BaseMapTiles(RendererSource source, QObject* parent)
    : QObject(parent), source_(std::move(source)), cache_(keptBytes)
{
}

bool BaseMapTiles::hasPending() const
{
    return running_ > 0 || !waiting_.empty()
        || std::any_of(shownInFrame_.cbegin(), shownInFrame_.cend(), [this](const Key& key) { return unnamed_.contains(key); });
}

bool BaseMapTiles::everyShownTileDrawn() const
{
    return std::all_of(shownInFrame_.cbegin(), shownInFrame_.cend(), [this](const Key& key) { return cache_.contains(key); });
}

void BaseMapTiles::rest()
{
    resting_ = true;
    letGo(std::exchange(renderer_, nullptr));
    named_.clear();
    const QList<Key> kept = cache_.keys();
    for (const Key& key : kept) {
        if (!shownInFrame_.contains(key)) {
            cache_.remove(key);
            unnamed_.remove(key);
        }
    }
}

BaseMapTiles::Key BaseMapTiles::keyOf(const TileKey& tile, double devicePixelRatio)
{
    return {tile, qRound(devicePixelRatio * 100)};
}

const QImage* BaseMapTiles::cached(const TileKey& key, double devicePixelRatio) const
{
    return cache_.object(keyOf(key, devicePixelRatio));
}

const QImage* BaseMapTiles::tile(const TileKey& key, double devicePixelRatio)
{
    const Key full = keyOf(key, devicePixelRatio);
    resting_ = false;
    shownInFrame_.insert(full);
    const QImage* image = cache_.object(full);
    if (!image) {
        unnamed_.remove(full);
        ask(full);
    } else if (unnamed_.contains(full) && named_.contains(key.zoom)) {
        // Drawn without names, it is drawn again once they are placed.
        ask(full);
    }
    return image;
}

void BaseMapTiles::ask(const Key& key)
{
    if (drawing_.contains(key)) {
        return;
    }
    const auto wanted = wantedInFrame_.find(key);
    if (wanted == wantedInFrame_.end()) {
        wantedInFrame_.insert(key, frame_);
        waiting_.push_back(key);
    } else {
        *wanted = frame_;
    }
    drawNext();
}

void BaseMapTiles::drawNext()
{
    while (running_ < drawingThreads && !waiting_.empty()) {
        const Key key = waiting_.back();
        waiting_.pop_back();
        const quint64 wantedIn = wantedInFrame_.take(key);
        if (wantedIn == frame_) {
            draw(key);
        }
    }
}

// On the worker: the tile as it can be drawn now; without names when they
// are not placed for its zoom, and then, unless another worker is at it,
// their placing. Each step is handed back as it ends.
void BaseMapTiles::draw(const Key& key)
{
    ++running_;
    drawing_.insert(key);
    drawingPool().start([renderer = renderer_, source = source_, key, back = GuiReturn(this), this]() mutable {
        thread_local const bool prepared = (becomeWorkerThread(), true);
        Q_UNUSED(prepared);
        if (!renderer) {
            renderer = source();
        }
        bool named = false;
        QImage image = renderer->draft(key.tile, key.pixelRatio / 100.0, named);
        // Read only on the GUI thread, and only while these tiles exist.
        back.post([this, key, image = std::move(image), named, renderer]() mutable {
            hold(std::move(renderer));
            keep(key, std::move(image), named);
        });
        if (!named && renderer->placeNames(key.tile.zoom)) {
            back.post([this, zoom = key.tile.zoom] {
                named_.insert(zoom);
                Q_EMIT tileReady();
            });
        }
        // A renderer the view no longer holds goes here, off the GUI thread,
        // and before the tile is reported done: a view at rest whose tiles
        // are all done holds no map data through a worker.
        renderer.reset();
        back.post([this, key] { finish(key); });
    });
}

void BaseMapTiles::hold(std::shared_ptr<const BaseMapRenderer> renderer)
{
    if (!renderer_ && !resting_) {
        renderer_ = std::move(renderer);
    } else {
        letGo(std::move(renderer));
    }
}

void BaseMapTiles::keep(const Key& key, QImage image, bool named)
{
    if (named) {
        unnamed_.remove(key);
        named_.insert(key.tile.zoom);
    } else {
        unnamed_.insert(key);
    }
    const qsizetype cost = image.sizeInBytes();
    cache_.insert(key, new QImage(std::move(image)), cost);
    Q_EMIT tileReady();
}

void BaseMapTiles::finish(const Key& key)
{
    --running_;
    drawing_.remove(key);
    drawNext();
    Q_EMIT tileReady();
}

} // namespace pivra
