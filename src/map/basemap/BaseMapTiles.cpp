#include "map/basemap/BaseMapTiles.h"

#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/GuiReturn.h"


#include <utility>

namespace pivra {

namespace {

// Workers drawing tiles: the view never waits for them, and two leave the
// rest of the machine to thumbnails.
constexpr int drawingThreads = 2;

// A renderer let go of may be the last to hold the map's data, tens of
// megabytes in many blocks, whose freeing is no work for the GUI thread.
void letGo(std::shared_ptr<const BaseMapRenderer> renderer)
{
    if (renderer) {
        BackgroundReleaser::shared().release(std::const_pointer_cast<BaseMapRenderer>(std::move(renderer)));
    }
}

} // namespace

BaseMapTiles::BaseMapTiles(std::shared_ptr<const BaseMapRenderer> renderer, QObject* parent)
    : QObject(parent), renderer_(std::move(renderer)), cache_(keptBytes)
{
    pool_.setMaxThreadCount(drawingThreads);
    pool_.setObjectName(QStringLiteral("Pivra base map tiles"));
}

BaseMapTiles::~BaseMapTiles()
{
    pool_.clear();
    pool_.waitForDone();
}

void BaseMapTiles::rest()
{
    resting_ = true;
    letGo(std::exchange(program_, nullptr));
    const QList<Key> kept = cache_.keys();
    for (const Key& key : kept) {
        if (!shownInFrame_.contains(key)) {
            cache_.remove(key);
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
    if (const QImage* image = cache_.object(full)) {
        return image;
    }
    if (drawing_.contains(full)) {
        return nullptr;
    }
    const auto wanted = wantedInFrame_.find(full);
    if (wanted == wantedInFrame_.end()) {
        wantedInFrame_.insert(full, frame_);
        waiting_.push_back(full);
    } else {
        *wanted = frame_;
    }
    drawNext();
    return nullptr;
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

void BaseMapTiles::draw(const Key& key)
{
    ++running_;
    drawing_.insert(key);
    std::shared_ptr<const BaseMapRenderer> renderer = renderer_ ? renderer_ : program_;
    pool_.start([renderer = std::move(renderer), key, this, back = GuiReturn(this)]() mutable {
        if (!renderer) {
            renderer = std::make_shared<const BaseMapRenderer>(BaseMapData::shared());
        }
        QImage image = renderer->render(key.tile, key.pixelRatio / 100.0);
        back.post([this, key, image = std::move(image), renderer = std::move(renderer)]() mutable {
            deliver(key, std::move(image), std::move(renderer));
        });
    });
}

void BaseMapTiles::deliver(const Key& key, QImage image, std::shared_ptr<const BaseMapRenderer> drawnWith)
{
    if (!renderer_ && !program_ && !resting_) {
        program_ = std::move(drawnWith);
    } else if (resting_) {
        letGo(std::move(drawnWith));
    }
    --running_;
    drawing_.remove(key);
    const qsizetype cost = image.sizeInBytes();
    cache_.insert(key, new QImage(std::move(image)), cost);
    drawNext();
    Q_EMIT tileReady();
}

} // namespace pivra
