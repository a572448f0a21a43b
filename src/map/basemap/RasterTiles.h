#pragma once

#include <QCache>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
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
//
// Decoded tiles are kept in memory up to a byte budget; a tile pushed out
// is asked for again when it is back in view (the disk cache answers). A
// request that moves no data for `transferTimeout` fails, so a server that
// never answers holds no request slot for good. A failed tile is asked
// again after a delay that doubles with each failure, up to a few minutes.
class RasterTiles : public QObject {
    Q_OBJECT

public:
    static constexpr int maxZoom = 19;
    static constexpr int maxRequests = 2;
    // Bytes of decoded tiles kept in memory.
    static constexpr qsizetype keptBytes = qsizetype(48) << 20;
    // Tiles waiting to be fetched; older wishes beyond this are dropped.
    static constexpr int keptWishes = 64;
    // Failed tiles remembered for their next try; beyond this the oldest
    // records go, and those tiles may be asked again sooner.
    static constexpr int keptFailures = 512;
    // The disk cache's limit as the disk counts it, in whole blocks.
    static constexpr qint64 diskCacheBytes = qint64(512) << 20;
    static constexpr std::chrono::milliseconds defaultTransferTimeout{15000};
    static constexpr std::chrono::milliseconds firstRetryDelay{2000};
    static constexpr std::chrono::milliseconds longestRetryDelay{300000};

    RasterTiles(QString urlTemplate, const QString& cacheFolder, QObject* parent = nullptr,
                std::chrono::milliseconds transferTimeout = defaultTransferTimeout);
    ~RasterTiles() override;

    // "<cache folder>/Pivra/MapTiles/v1".
    static QString defaultCacheFolder();
    static QByteArray userAgent();

    const QString& urlTemplate() const { return template_; }
    QUrl url(int zoom, int x, int y) const;
    // The tile when at hand; otherwise none, and it is asked for.
    const QImage* tile(int zoom, int x, int y);
    bool hasPending() const { return !inFlight_.isEmpty() || !wishes_.empty(); }
    qsizetype bytes() const { return images_.totalCost(); }
    // Credit to the tile server, by its host name.
    QString attribution() const;

Q_SIGNALS:
    void tileReady();

private:
    struct Failure {
        int count = 0;
        qint64 retryAt = 0; // on clock_
    };

    void fetchNext();
    void fetched(const QUrl& url, const QImage& image);
    void failed(const QUrl& url);
    void armRetry();

    QString template_;
    QThread thread_;
    QObject* fetcher_; // lives on thread_
    QCache<QUrl, QImage> images_;
    QSet<QUrl> inFlight_;           // asked of the fetcher, not answered yet
    QHash<QUrl, Failure> failures_; // failed, not yet asked again
    std::vector<QUrl> wishes_;      // newest last
    QElapsedTimer clock_;
    QTimer retry_; // the next failed tile's turn: the view draws again and asks
};

} // namespace pivra
