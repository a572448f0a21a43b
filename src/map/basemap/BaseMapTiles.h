#pragma once

#include "map/basemap/BaseMapRenderer.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <memory>
#include <vector>

namespace pivra {

// The base map's tiles for the GUI thread: drawn on worker threads and kept
// in memory, so moving the map only copies finished images. A tile not
// drawn yet is asked for and reported by tileReady when it is there.
//
// Memory is bounded in bytes, whatever the pixel ratio: a tile at ratio 2
// costs four times one at ratio 1. Tiles asked for wait their turn, newest
// first; one that has left the view by its turn is not drawn at all, so a
// fast pan across the world draws only where it stops.
class BaseMapTiles : public QObject {
    Q_OBJECT

public:
    // Bytes of drawn tiles kept: several screens' worth of a large window
    // at ratio 2.
    static constexpr qsizetype keptBytes = qsizetype(64) << 20;

    // Draws from the program's data file unless given a renderer.
    explicit BaseMapTiles(std::shared_ptr<const BaseMapRenderer> renderer = nullptr, QObject* parent = nullptr);
    ~BaseMapTiles() override;

    // The tile when drawn; otherwise none, and it is asked for.
    const QImage* tile(const TileKey& key, double devicePixelRatio);
    // The tile when drawn, without asking for it.
    const QImage* cached(const TileKey& key, double devicePixelRatio) const;
    // A new frame starts: tiles asked for before it and not again since are
    // no longer in view, and are dropped unless already being drawn.
    void beginFrame()
    {
        ++frame_;
        shownInFrame_.clear();
    }
    bool hasPending() const { return running_ > 0 || !waiting_.empty(); }
    qsizetype bytes() const { return cache_.totalCost(); }
    // The view has left the screen: every drawn tile goes but those the last
    // frame asked for, which are what the view shows first when it is back,
    // and the program's map data with the drawing of names goes once the
    // tiles being drawn are done. The next tile asked for reads it again.
    void rest();

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
    void drawNext();
    void draw(const Key& key);
    void deliver(const Key& key, QImage image, std::shared_ptr<const BaseMapRenderer> drawnWith);

    std::shared_ptr<const BaseMapRenderer> renderer_; // given, for tests
    // Draws from the program's data while the view is on screen; made by the
    // first tile drawn, kept from its delivery until the view rests.
    std::shared_ptr<const BaseMapRenderer> program_;
    bool resting_ = false;
    QCache<Key, QImage> cache_;
    QSet<Key> drawing_;
    std::vector<Key> waiting_;          // newest last
    QHash<Key, quint64> wantedInFrame_; // the waiting tiles, by the last frame that showed them
    QSet<Key> shownInFrame_;            // every tile the frame under way asked for
    quint64 frame_ = 0;
    int running_ = 0;
    QThreadPool pool_;
};

} // namespace pivra
