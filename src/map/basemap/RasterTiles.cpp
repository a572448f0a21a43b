#include "map/basemap/RasterTiles.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QPointer>
#include <QStandardPaths>

#include <algorithm>
#include <functional>

namespace pivra {

namespace {

// The disk cache's size: tens of thousands of tiles.
constexpr qint64 diskCacheBytes = qint64(512) << 20;

// Fetches and decodes tiles on the layer's thread, so neither the disk cache
// nor a decode ever holds up the GUI thread. A tile in the disk cache is
// taken from there alone, whatever its age: the map does not go out again
// for what it already has. Every request is answered, with a null image when
// it failed.
class TileFetcher : public QObject {
public:
    TileFetcher(QString cacheFolder, std::function<void(QUrl, QImage)> answer)
        : cacheFolder_(std::move(cacheFolder)), answer_(std::move(answer))
    {
    }

    void fetch(const QUrl& address)
    {
        if (network_ == nullptr) {
            network_ = new QNetworkAccessManager(this);
            auto* cache = new QNetworkDiskCache(network_);
            cache->setCacheDirectory(cacheFolder_);
            cache->setMaximumCacheSize(diskCacheBytes);
            network_->setCache(cache);
        }
        QNetworkRequest request(address);
        request.setHeader(QNetworkRequest::UserAgentHeader, RasterTiles::userAgent());
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
        const bool stored = network_->cache()->metaData(address).isValid();
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             stored ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
        QNetworkReply* reply = network_->get(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply, address] {
            reply->deleteLater();
            QImage image;
            if (reply->error() == QNetworkReply::NoError && image.loadFromData(reply->readAll())) {
                image.convertTo(QImage::Format_ARGB32_Premultiplied);
            }
            answer_(address, std::move(image));
        });
    }

private:
    const QString cacheFolder_;
    const std::function<void(QUrl, QImage)> answer_;
    QNetworkAccessManager* network_ = nullptr; // made on the fetcher's thread
};

} // namespace

RasterTiles::RasterTiles(QString urlTemplate, const QString& cacheFolder, QObject* parent)
    : QObject(parent), template_(std::move(urlTemplate)), images_(keptTiles)
{
    fetcher_ = new TileFetcher(cacheFolder, [self = QPointer(this)](QUrl url, QImage image) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, url = std::move(url), image = std::move(image)] {
                if (self) {
                    self->fetched(url, image);
                }
            },
            Qt::QueuedConnection);
    });
    fetcher_->moveToThread(&thread_);
    thread_.start();
}

RasterTiles::~RasterTiles()
{
    QMetaObject::invokeMethod(fetcher_, [fetcher = fetcher_] { delete fetcher; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QString RasterTiles::defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Pivra/MapTiles/v1");
}

QByteArray RasterTiles::userAgent()
{
    const QString version = QCoreApplication::applicationVersion();
    return QStringLiteral("Pivra/%1 (desktop photo browser)").arg(version.isEmpty() ? QStringLiteral("0") : version).toUtf8();
}

QUrl RasterTiles::url(int zoom, int x, int y) const
{
    QString text = template_;
    static const QString servers = QStringLiteral("abc");
    text.replace(QStringLiteral("{s}"), servers.at((x + y) % servers.size()));
    text.replace(QStringLiteral("{z}"), QString::number(zoom));
    text.replace(QStringLiteral("{x}"), QString::number(x));
    text.replace(QStringLiteral("{y}"), QString::number(y));
    return QUrl(text);
}

QString RasterTiles::attribution() const
{
    const QString host = url(0, 0, 0).host();
    return QStringLiteral("Tiles: ") + (host.isEmpty() ? template_ : host);
}

const QImage* RasterTiles::tile(int zoom, int x, int y)
{
    const QUrl address = url(zoom, x, y);
    if (const QImage* image = images_.object(address)) {
        return image;
    }
    if (!known_.contains(address) && address.isValid()) {
        std::erase(wishes_, address);
        wishes_.push_back(address);
        if (wishes_.size() > std::size_t(keptWishes)) {
            wishes_.erase(wishes_.begin());
        }
        fetchNext();
    }
    return nullptr;
}

void RasterTiles::fetchNext()
{
    while (running_ < maxRequests && !wishes_.empty()) {
        const QUrl address = wishes_.back();
        wishes_.pop_back();
        known_.insert(address);
        ++running_;
        QMetaObject::invokeMethod(
            fetcher_, [fetcher = static_cast<TileFetcher*>(fetcher_), address] { fetcher->fetch(address); },
            Qt::QueuedConnection);
    }
}

void RasterTiles::fetched(const QUrl& url, const QImage& image)
{
    --running_;
    if (!image.isNull()) {
        images_.insert(url, new QImage(image));
        Q_EMIT tileReady();
    }
    fetchNext();
}

} // namespace pivra
