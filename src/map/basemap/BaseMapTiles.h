#pragma once

#include "map/basemap/BaseMapRenderer.h"

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <memory>

namespace pivra {

// The base map's tiles for the GUI thread: drawn on worker threads and kept
// in memory, so moving the map only copies finished images. A tile not
// drawn yet is asked for and reported by tileReady when it is there.
class BaseMapTiles : public QObject {
    Q_OBJECT

public:
    // Tiles kept in memory: several screens' worth at a large window size.
    static constexpr int keptTiles = 600;

    // Draws from the program's data file unless given a renderer.
    explicit BaseMapTiles(std::shared_ptr<const BaseMapRenderer> renderer = nullptr, QObject* parent = nullptr);
    ~BaseMapTiles() override;

    // The tile when drawn; otherwise none, and it is asked for.
    const QImage* tile(const TileKey& key, double devicePixelRatio);
    // The tile when drawn, without asking for it.
    const QImage* cached(const TileKey& key, double devicePixelRatio) const;
    bool hasPending() const { return !pending_.isEmpty(); }

Q_SIGNALS:
    void tileReady();

private:
    struct Key {
        TileKey tile;
        int pixelRatio; // in hundredths

        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.tile, key.pixelRatio); }
    static Key keyOf(const TileKey& tile, double devicePixelRatio);
    void deliver(Key key, QImage image);

    std::shared_ptr<const BaseMapRenderer> renderer_;
    QCache<Key, QImage> cache_;
    QSet<Key> pending_;
    QThreadPool pool_;
};

} // namespace pivra
