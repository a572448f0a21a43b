#include "map/basemap/RasterTiles.h"

#include "platform/runtime/threads/GuiReturn.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QStandardPaths>

#include <algorithm>
#include <functional>

namespace pivra {

namespace {

// What the disk cache may hold in file bytes. It counts the files' lengths,
// while the disk gives each a whole number of 4 KiB blocks: tiles of 10 to
// 30 KiB lose about 2 KiB each, so an eighth is kept back for that.
constexpr qint64 diskCacheFileBytes = RasterTiles::diskCacheBytes / 8 * 7;

// The format a tile's bytes are checked to be, PNG or JPEG as imagery servers
// send, and none for any other: Qt's reader is never chosen by what a reply
// holds (its SVG reader reads every file an SVG names, a FIFO's too).
const char* tileFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        return "png";
    }
    return bytes.startsWith("\xFF\xD8\xFF") ? "jpeg" : nullptr;
}

// Fetches and decodes tiles on the layer's thread, so neither the disk cache
// nor a decode ever holds up the GUI thread. A tile in the disk cache is
// taken from there alone, whatever its age: the map does not go out again
// for what it already has. Every request is answered, with a null image when
// it failed.
class TileFetcher : public QObject {
public:
    TileFetcher(QString cacheFolder, std::chrono::milliseconds timeout, std::function<void(QUrl, QImage)> answer)
        : cacheFolder_(std::move(cacheFolder)), timeout_(timeout), answer_(std::move(answer))
    {
    }

    void fetch(const QUrl& address)
    {
        if (network_ == nullptr) {
            network_ = new QNetworkAccessManager(this);
            auto* cache = new QNetworkDiskCache(network_);
            cache->setCacheDirectory(cacheFolder_);
            cache->setMaximumCacheSize(diskCacheFileBytes);
            network_->setCache(cache);
        }
        QNetworkRequest request(address);
        request.setHeader(QNetworkRequest::UserAgentHeader, RasterTiles::userAgent());
        request.setTransferTimeout(int(timeout_.count()));
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
        const bool stored = network_->cache()->metaData(address).isValid();
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             stored ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
        QNetworkReply* reply = network_->get(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply, address] {
            reply->deleteLater();
            QImage image;
            const QByteArray bytes = reply->readAll();
            const char* format = tileFormat(bytes);
            if (reply->error() == QNetworkReply::NoError && format != nullptr && image.loadFromData(bytes, format)) {
                image.convertTo(QImage::Format_ARGB32_Premultiplied);
            }
            answer_(address, std::move(image));
        });
    }

private:
    const QString cacheFolder_;
    const std::chrono::milliseconds timeout_;
    const std::function<void(QUrl, QImage)> answer_;
    QNetworkAccessManager* network_ = nullptr; // made on the fetcher's thread
};

} // namespace

RasterTiles::RasterTiles(QString urlTemplate, const QString& cacheFolder, QObject* parent,
                         std::chrono::milliseconds transferTimeout)
    : QObject(parent), template_(std::move(urlTemplate)), images_(keptBytes)
{
    fetcher_ = new TileFetcher(cacheFolder, transferTimeout, [this, back = GuiReturn(this)](QUrl url, QImage image) {
        back.post([this, url = std::move(url), image = std::move(image)] { fetched(url, image); });
    });
    fetcher_->moveToThread(&thread_);
    thread_.start();
    clock_.start();
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] {
        Q_EMIT tileReady();
        armRetry();
    });
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
    if (inFlight_.contains(address) || !address.isValid()) {
        return nullptr;
    }
    if (const auto failure = failures_.constFind(address);
        failure != failures_.cend() && failure->retryAt > clock_.elapsed()) {
        return nullptr;
    }
    std::erase(wishes_, address);
    wishes_.push_back(address);
    if (wishes_.size() > std::size_t(keptWishes)) {
        wishes_.erase(wishes_.begin());
    }
    fetchNext();
    return nullptr;
}

void RasterTiles::fetchNext()
{
    while (inFlight_.size() < maxRequests && !wishes_.empty()) {
        const QUrl address = wishes_.back();
        wishes_.pop_back();
        inFlight_.insert(address);
        QMetaObject::invokeMethod(
            fetcher_, [fetcher = static_cast<TileFetcher*>(fetcher_), address] { fetcher->fetch(address); },
            Qt::QueuedConnection);
    }
}

void RasterTiles::fetched(const QUrl& url, const QImage& image)
{
    inFlight_.remove(url);
    if (image.isNull()) {
        failed(url);
    } else {
        failures_.remove(url);
        images_.insert(url, new QImage(image), image.sizeInBytes());
        Q_EMIT tileReady();
    }
    fetchNext();
}

void RasterTiles::failed(const QUrl& url)
{
    Failure& failure = failures_[url];
    failure.count = std::min(failure.count + 1, 20);
    const auto delay = std::min<std::chrono::milliseconds>(firstRetryDelay * (1LL << std::min(failure.count - 1, 16)),
                                                           longestRetryDelay);
    failure.retryAt = clock_.elapsed() + delay.count();
    if (failures_.size() > keptFailures) {
        // The records nearest their next try go first: forgetting them
        // costs the least.
        std::vector<std::pair<qint64, QUrl>> byTurn;
        byTurn.reserve(std::size_t(failures_.size()));
        for (auto it = failures_.cbegin(); it != failures_.cend(); ++it) {
            byTurn.emplace_back(it->retryAt, it.key());
        }
        std::sort(byTurn.begin(), byTurn.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < byTurn.size() - std::size_t(keptFailures); ++i) {
            failures_.remove(byTurn[i].second);
        }
    }
    armRetry();
}

void RasterTiles::armRetry()
{
    const qint64 now = clock_.elapsed();
    qint64 next = -1;
    for (const Failure& failure : std::as_const(failures_)) {
        if (failure.retryAt > now) {
            next = next < 0 ? failure.retryAt : std::min(next, failure.retryAt);
        }
    }
    if (next >= 0) {
        retry_.start(int(next - now));
    }
}

} // namespace pivra
