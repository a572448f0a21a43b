#pragma once

#include "map/basemap/BaseMapRenderer.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>

#include <functional>
#include <memory>
#include <vector>

namespace pivra {

// The base map's tiles for the GUI thread: drawn on worker threads and kept
// in memory, so moving the map only copies finished images. A tile not
// drawn yet is asked for and reported by tileReady when it is there.
//
// A tile of a zoom whose names are not placed yet comes at once without
// them, while one worker places them (for the whole world, up to a few
// hundred milliseconds at the finest zooms); then it is drawn again with
// them. So the land never waits for the names.
//
// Memory is bounded in bytes, whatever the pixel ratio: a tile at ratio 2
// costs four times one at ratio 1. Tiles asked for wait their turn, newest
// first; one that has left the view by its turn is not drawn at all, so a
// fast pan across the world draws only where it stops.
//
// The workers are the process's, not the view's: a view going away waits
// for no tile being drawn, whose result is then dropped.
class BaseMapTiles : public QObject {
    Q_OBJECT

public:
    // Bytes of drawn tiles kept: several screens' worth of a large window
    // at ratio 2.
    static constexpr qsizetype keptBytes = qsizetype(64) << 20;

    // What draws the tiles, asked for on a worker by the first tile drawn
    // while none is held (see rest()).
    using RendererSource = std::function<std::shared_ptr<const BaseMapRenderer>()>;
    // From the program's data file.
    static RendererSource programData();
    // Always `renderer` (for tests).
    static RendererSource fixed(std::shared_ptr<const BaseMapRenderer> renderer);

    explicit BaseMapTiles(RendererSource source = programData(), QObject* parent = nullptr);

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
    // Tiles are being drawn or named, or wait to be.
    bool hasPending() const;
    // Every tile the last frame asked for is there, names or not.
    bool everyShownTileDrawn() const;
    qsizetype bytes() const { return cache_.totalCost(); }
    // The view has left the screen: every drawn tile goes but those the last
    // frame asked for, which are what the view shows first when it is back,
    // and the renderer with its map data and placed names goes once the
    // tiles being drawn are done. The next tile asked for makes it again.
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
    void ask(const Key& key);
    void drawNext();
    void draw(const Key& key);
    void hold(std::shared_ptr<const BaseMapRenderer> renderer);
    void keep(const Key& key, QImage image, bool named);
    void finish(const Key& key);

    RendererSource source_;
    // Draws while the view is on screen; made by the first tile drawn, kept
    // from its delivery until the view rests.
    std::shared_ptr<const BaseMapRenderer> renderer_;
    bool resting_ = false;
    QCache<Key, QImage> cache_;
    QSet<Key> unnamed_;   // drawn without their names, which were not placed yet
    QSet<int> named_;     // zooms whose names were placed since the view last rested
    QSet<Key> drawing_;
    std::vector<Key> waiting_;          // newest last
    QHash<Key, quint64> wantedInFrame_; // the waiting tiles, by the last frame that showed them
    QSet<Key> shownInFrame_;            // every tile the frame under way asked for
    quint64 frame_ = 0;
    int running_ = 0;
};

} // namespace pivra
