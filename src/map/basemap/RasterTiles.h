#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QUrl>

#include <vector>

namespace pivra {

// Map tiles from a tile server the user configured, as a URL template with
// {z}, {x} and {y} (and optionally {s}, taken from a, b and c in turn). At
// most two requests run at once, the tile asked for last goes first, each
// request says which program asks, and answers are kept in a disk cache
// under the cache folder, so a tile once fetched is shown again without a
// request. Nothing is fetched unless a template is set. Used on the GUI
// thread; the network, the disk cache and decoding run on a thread of the
// layer's own.
class RasterTiles : public QObject {
    Q_OBJECT

public:
    static constexpr int maxZoom = 19;
    static constexpr int maxRequests = 2;
    // Tiles kept decoded in memory.
    static constexpr int keptTiles = 300;
    // Tiles waiting to be fetched; older wishes beyond this are dropped.
    static constexpr int keptWishes = 64;

    RasterTiles(QString urlTemplate, const QString& cacheFolder, QObject* parent = nullptr);
    ~RasterTiles() override;

    // "<cache folder>/Pivra/MapTiles/v1".
    static QString defaultCacheFolder();
    static QByteArray userAgent();

    const QString& urlTemplate() const { return template_; }
    QUrl url(int zoom, int x, int y) const;
    // The tile when at hand; otherwise none, and it is asked for.
    const QImage* tile(int zoom, int x, int y);
    bool hasPending() const { return running_ > 0 || !wishes_.empty(); }
    // Credit to the tile server, by its host name.
    QString attribution() const;

Q_SIGNALS:
    void tileReady();

private:
    void fetchNext();
    void fetched(const QUrl& url, const QImage& image);

    QString template_;
    QThread thread_;
    QObject* fetcher_; // lives on thread_
    QCache<QUrl, QImage> images_;
    QSet<QUrl> known_;          // fetched or failed this run: not asked again
    std::vector<QUrl> wishes_;  // newest last
    int running_ = 0; // asked of the fetcher, not answered yet
};

} // namespace pivra
