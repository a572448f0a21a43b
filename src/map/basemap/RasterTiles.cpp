#include "map/basemap/RasterTiles.h"

#include <QCoreApplication>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QPointer>
#include <QThreadPool>
#include <QStandardPaths>

#include <algorithm>

namespace pivra {

namespace {

// The disk cache's size: tens of thousands of tiles.
constexpr qint64 diskCacheBytes = qint64(512) << 20;

} // namespace

RasterTiles::RasterTiles(QString urlTemplate, const QString& cacheFolder, QObject* parent)
    : QObject(parent), template_(std::move(urlTemplate)), images_(keptTiles)
{
    auto* cache = new QNetworkDiskCache(&network_);
    cache->setCacheDirectory(cacheFolder);
    cache->setMaximumCacheSize(diskCacheBytes);
    network_.setCache(cache);
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

// A tile in the disk cache is taken from there alone, whatever its age: the
// map does not go out again for what it already has.
void RasterTiles::fetchNext()
{
    while (running_ < maxRequests && !wishes_.empty()) {
        const QUrl address = wishes_.back();
        wishes_.pop_back();
        known_.insert(address);
        QNetworkRequest request(address);
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
        const bool stored = network_.cache()->metaData(address).isValid();
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             stored ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
        ++running_;
        QNetworkReply* reply = network_.get(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply, address] { finished(reply, address); });
    }
}

// Tiles are decoded on a worker; the answer comes back to the GUI thread
// while this layer still exists.
void RasterTiles::finished(QNetworkReply* reply, QUrl url)
{
    reply->deleteLater();
    --running_;
    if (reply->error() == QNetworkReply::NoError) {
        ++decoding_;
        QThreadPool::globalInstance()->start([bytes = reply->readAll(), url, self = QPointer(this)] {
            QImage image;
            if (image.loadFromData(bytes)) {
                image.convertTo(QImage::Format_ARGB32_Premultiplied);
            }
            QMetaObject::invokeMethod(
                self.data(),
                [self, url, image = std::move(image)] {
                    if (self) {
                        self->decoded(url, image);
                    }
                },
                Qt::QueuedConnection);
        });
    }
    fetchNext();
}

void RasterTiles::decoded(const QUrl& url, const QImage& image)
{
    --decoding_;
    if (!image.isNull()) {
        images_.insert(url, new QImage(image));
        Q_EMIT tileReady();
    }
}

} // namespace pivra
