#include "map/basemap/BaseMapTiles.h"

#include <QPointer>

namespace pivra {

namespace {

// Workers drawing tiles: the view never waits for them, and two leave the
// rest of the machine to thumbnails.
constexpr int drawingThreads = 2;

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

void BaseMapTiles::keepLastFrameOnly()
{
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
    const std::shared_ptr<const BaseMapRenderer> renderer = renderer_;
    pool_.start([renderer, key, self = QPointer(this)] {
        static const BaseMapRenderer program(BaseMapData::shared());
        QImage image = (renderer ? *renderer : program).render(key.tile, key.pixelRatio / 100.0);
        QMetaObject::invokeMethod(
            self.data(),
            [self, key, image = std::move(image)]() mutable {
                if (self) {
                    self->deliver(key, std::move(image));
                }
            },
            Qt::QueuedConnection);
    });
}

void BaseMapTiles::deliver(Key key, QImage image)
{
    --running_;
    drawing_.remove(key);
    const qsizetype cost = image.sizeInBytes();
    cache_.insert(key, new QImage(std::move(image)), cost);
    drawNext();
    Q_EMIT tileReady();
}

} // namespace pivra
