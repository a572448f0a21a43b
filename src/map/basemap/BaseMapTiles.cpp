#include "map/basemap/BaseMapTiles.h"

#include <QPointer>

namespace pivra {

namespace {

// Workers drawing tiles: the view never waits for them, and two leave the
// rest of the machine to thumbnails.
constexpr int drawingThreads = 2;

} // namespace

BaseMapTiles::BaseMapTiles(std::shared_ptr<const BaseMapRenderer> renderer, QObject* parent)
    : QObject(parent), renderer_(std::move(renderer)), cache_(keptTiles)
{
    pool_.setMaxThreadCount(drawingThreads);
    pool_.setObjectName(QStringLiteral("Pivra base map tiles"));
}

BaseMapTiles::~BaseMapTiles()
{
    pool_.clear();
    pool_.waitForDone();
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
    if (const QImage* image = cache_.object(full)) {
        return image;
    }
    if (pending_.contains(full)) {
        return nullptr;
    }
    pending_.insert(full);
    const std::shared_ptr<const BaseMapRenderer> renderer = renderer_;
    pool_.start([renderer, full, devicePixelRatio, self = QPointer(this)] {
        static const BaseMapRenderer program(BaseMapData::shared());
        QImage image = (renderer ? *renderer : program).render(full.tile, devicePixelRatio);
        QMetaObject::invokeMethod(
            self.data(),
            [self, full, image = std::move(image)]() mutable {
                if (self) {
                    self->deliver(full, std::move(image));
                }
            },
            Qt::QueuedConnection);
    });
    return nullptr;
}

void BaseMapTiles::deliver(Key key, QImage image)
{
    pending_.remove(key);
    cache_.insert(key, new QImage(std::move(image)));
    Q_EMIT tileReady();
}

} // namespace pivra
