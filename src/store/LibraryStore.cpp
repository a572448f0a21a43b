#include "store/LibraryStore.h"

#include "catalog/model/Uuid.h"
#include "catalog/search/SearchCalendar.h"
#include "media/camera/CameraSourceManager.h"
#include "media/metadata/MetadataInspector.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/folders/MountMonitor.h"
#include "platform/geocoder/OfflineReverseGeocoder.h"
#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/threads/Pool.h"
#include "store/places/PlaceNamer.h"
#include "store/SourcesKeptAside.h"

#include <QCoreApplication>

#include <algorithm>
#include <future>

namespace pivra {

const QString LibraryStore::sourcesKey = QStringLiteral("pivra.sources.v1");
const QString LibraryStore::unreadableSourcesKey = QStringLiteral("pivra.sources.v1.unreadable");
const QString LibraryStore::onlineSourcesKey = QStringLiteral("pivra.sources.online.v1");
const QString LibraryStore::chooserFolderKey = QStringLiteral("pivra.sources.chooserFolder");

namespace {

// How long the program's catalog waits for a copy of the program that is
// still closing it, which lets go within a second; past that, the catalog is
// another session's, held for as long as it runs.
constexpr int catalogHolderWait = 5000;

const MediaItems& noItems()
{
    static const MediaItems empty = std::make_shared<const std::vector<MediaItem>>();
    return empty;
}

struct GalleryIndex {
    // Still the store's own to edit until it is published.
    std::shared_ptr<std::vector<MediaItem>> items;
    MediaCatalog::GalleryStamp stamp;
};

// Built on the catalog thread, so the GUI thread only receives a pointer.
GalleryIndex readGalleryIndex(MediaCatalog& catalog, const GalleryScope& scope)
{
    MediaCatalog::GalleryStamp stamp = catalog.galleryStamp(scope);
    return {std::make_shared<std::vector<MediaItem>>(catalog.galleryIndex(scope)), std::move(stamp)};
}

// The scope's whole index, or nothing when the items shown (read at `shown`)
// are still what the catalog holds for it.
std::optional<GalleryIndex> readGalleryIndexUnlessShown(MediaCatalog& catalog, const GalleryScope& scope,
                                                        const std::optional<MediaCatalog::GalleryStamp>& shown)
{
    if (shown && catalog.galleryStamp(scope) == *shown) {
        return std::nullopt;
    }
    return readGalleryIndex(catalog, scope);
}

// The scope's first `limit` items, stamped as its whole index should they
// be all there is.
GalleryIndex readGalleryHead(MediaCatalog& catalog, const GalleryScope& scope, int limit)
{
    MediaCatalog::GalleryStamp stamp = catalog.galleryStamp(scope);
    return {std::make_shared<std::vector<MediaItem>>(catalog.galleryHead(scope, limit)), std::move(stamp)};
}

// The folder sources online, as saved under onlineSourcesKey: their ids,
// sorted.
QStringList onlineFolderIDs(const QList<LibrarySource>& sources)
{
    QStringList ids;
    for (const LibrarySource& source : sources) {
        if (source.kind == LibrarySource::Kind::folder && source.isOnline) {
            ids.append(uuidString(source.id));
        }
    }
    ids.sort();
    return ids;
}

QSet<QUuid> onlineIDs(const QList<LibrarySource>& sources)
{
    QSet<QUuid> ids;
    for (const LibrarySource& source : sources) {
        if (source.isOnline) {
            ids.insert(source.id);
        }
    }
    return ids;
}

} // namespace

void releaseOffThread(MediaItems items)
{
    if (items && items.use_count() == 1 && !items->empty()) {
        detail::startOnPool(PoolPriority::utility, [items = std::move(items)]() mutable { items.reset(); });
    }
}

LibraryStore::LibraryStore(LibraryServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)), items_(noItems())
{
    assertMainThread();
    prober_ = std::make_unique<FolderProber>(
        services_.probeFolder ? services_.probeFolder : &probeFolder,
        DiskCallPool::Limits{.width = services_.probeThreads, .stuckAfter = services_.probeTimeLimit},
        [this] { gatherLateAnswers(); });
    connect(&partlyWatchedRescan_, &QTimer::timeout, this, [this] {
        if (!isScanning_) {
            startRescan(partlyWatchedSourceIDs_);
        }
    });
    lateAnswers_.setSingleShot(true);
    connect(&lateAnswers_, &QTimer::timeout, this, [this] {
        detail::workDelivered();
        rescan();
    });
    openCatalog();
    restoreSources();
    connectCameras();
    watchCameraSources();
    refreshCameras();
    if (services_.mounts != nullptr) {
        // Queued, so a rescan always starts in a turn of its own, and never
        // for a store that is gone.
        connect(services_.mounts, &MountMonitor::volumesChanged, this, &LibraryStore::followMounts,
                Qt::QueuedConnection);
    }
    startTask(this, startUp());
}

LibraryStore::~LibraryStore()
{
    if (lateAnswers_.isActive()) {
        detail::workDelivered();
    }
    releaseOffThread(std::exchange(items_, nullptr));
}

LibraryStore& LibraryStore::shared()
{
    assertMainThread();
    // Lives with the application, so its cache is written when the
    // application goes; the store, which the program's end ends first,
    // names places through it to the last.
    static PlaceNamer* const namer =
        new PlaceNamer(std::make_unique<OfflineReverseGeocoder>(OfflineReverseGeocoder::systemLanguage()), {},
                       QCoreApplication::instance());
    static LibraryStore* const store = new LibraryStore(
        LibraryServices{
            .openCatalog = [] {
                return std::make_unique<MediaCatalog>(std::nullopt,
                                                      CatalogTuning{.lockFileWaitMilliseconds = catalogHolderWait});
            },
            .cameras = &CameraSourceManager::shared(),
            .mounts = new MountMonitor(QString::fromLatin1(MountMonitor::processMountTable), QCoreApplication::instance()),
            .places = [](const QString& text) { return namer->cells(text); },
            .placeNamer = namer,
            .thumbnails = &ThumbnailStore::shared(),
            .previews = &VideoPreviewStore::shared(),
            .inspector = std::make_shared<MetadataInspector>(),
        },
        QCoreApplication::instance());
    return *store;
}

// The catalog opens on its own thread, which may wait there a few seconds
// for a copy of the program that is still closing it; the window shows
// meanwhile. Whatever asks the catalog or its sums waits in their queues, and
// startUp() learns first whether the catalog opened. The sums' connection is
// made once the catalog has opened, on the file it opened.
void LibraryStore::openCatalog()
{
    auto opened = std::make_shared<std::promise<QString>>();
    std::shared_future<QString> openedPath = opened->get_future().share();
    catalog_ = std::make_unique<CatalogExecutor>([open = services_.openCatalog, opened] {
        try {
            std::unique_ptr<MediaCatalog> catalog = open();
            opened->set_value(catalog ? catalog->databasePath() : QString());
            return catalog;
        } catch (...) {
            opened->set_exception(std::current_exception());
            throw;
        }
    });
    summaries_ = std::make_unique<SerialExecutor<CatalogSummaries>>(
        [openedPath] { return std::make_unique<CatalogSummaries>(openedPath.get()); });
}

// Learns whether the catalog opened. One that did not leaves the store
// without one, as if it had never been there; the calls queued for it
// meanwhile answer with its failure, and whatever they would say of it is
// left unsaid: the one message says it all. It is kept until the store goes,
// as those calls may still hold it.
Task<> LibraryStore::awaitCatalog()
{
    if (!catalog_) {
        co_return;
    }
    try {
        co_await catalog_->call(&MediaCatalog::databasePath);
        co_return;
    } catch (const std::exception& error) {
        qWarning("pivra: the catalog could not be opened: %s", error.what());
    }
    unopenedCatalog_ = std::move(catalog_);
    unopenedSummaries_ = std::move(summaries_);
    setMessage(QStringLiteral("Could not open the local media catalog."));
    catalogFailureSaid_ = true;
    // Answered after every call queued before it.
    try {
        co_await unopenedCatalog_->call(&MediaCatalog::databasePath);
    } catch (const std::exception&) {
    }
    catalogFailureSaid_ = false;
}

// Whatever part of the stored list cannot be read is moved to a file of its
// own and the rest saved at once, so it is read at one start only. Should
// that file not be written, the part waits in the settings (the first such
// part only) and moves out at a later start.
void LibraryStore::restoreSources()
{
    AppSettings settings;
    if (settings.contains(unreadableSourcesKey)
        && !keepSourcesAside(settings.value(unreadableSourcesKey).toByteArray()).isEmpty()) {
        settings.remove(unreadableSourcesKey);
    }
    const QVariant stored = settings.value(sourcesKey);
    if (!stored.isValid()) {
        return;
    }
    const QByteArray raw = stored.toByteArray();
    DecodedSources decoded = decodeSources(raw);
    // Until the first access pass has answered, which takes a while on a
    // busy machine or with thousands of folders, each folder source shows as
    // the last one left it, and so does the gallery.
    const QStringList wasOnline = settings.value(onlineSourcesKey).toStringList();
    for (LibrarySource& source : decoded.sources) {
        source.isOnline = source.kind == LibrarySource::Kind::folder && wasOnline.contains(uuidString(source.id));
    }
    setSources(decoded.sources);
    persistedOnline_ = onlineFolderIDs(sources_);
    if (decoded.unreadable.isEmpty()) {
        persistedSources_ = decoded.sources;
        return;
    }
    const QString kept = keepSourcesAside(decoded.unreadable);
    qWarning("pivra: %lld bytes of the stored source list could not be read; they are kept in %s",
             static_cast<long long>(decoded.unreadable.size()),
             qPrintable(kept.isEmpty() ? unreadableSourcesKey : kept));
    if (kept.isEmpty() && !settings.contains(unreadableSourcesKey)) {
        settings.setValue(unreadableSourcesKey, decoded.unreadable);
    }
    settings.sync();
    persistSources();
}

// Every access pass and camera refresh saves the list; most change nothing,
// and the settings file is not rewritten for those. Thousands of sources take
// longer than a frame to encode and write, so the list is compared as it is
// and written on the writer's thread, each list in the order saved.
void LibraryStore::persistSources()
{
    assertMainThread();
    QStringList online = onlineFolderIDs(sources_);
    if (persistedSources_ && storeAlike(*persistedSources_, sources_) && online == persistedOnline_) {
        return;
    }
    persistedSources_ = sources_;
    persistedOnline_ = online;
    detail::workQueued();
    sourcesWriter_.post([sources = sources_, online = std::move(online)] {
        AppSettings settings;
        settings.setValue(sourcesKey, encodeSources(sources));
        settings.setValue(onlineSourcesKey, online);
        settings.sync();
        detail::workDelivered();
    });
}

// The first gallery shows the sources as the last run left them; the rescan,
// whose access pass tells how they are now, starts right after it, so that
// neither waits for the sums and folder trees read of every source.
Task<> LibraryStore::startUp()
{
    co_await awaitCatalog();
    co_await refreshAlbums();
    co_await reload();
    rescan();
    co_await refreshThumbnailStatuses();
    if (catalog_) {
        const QList<LibrarySource> snapshot = sources_;
        for (const LibrarySource& source : snapshot) {
            if (source.kind == LibrarySource::Kind::folder) {
                co_await refreshIndexedFolders(source.id);
            }
        }
    }
}

void LibraryStore::setSources(QList<LibrarySource> sources)
{
    const QList<LibrarySource> previous = std::exchange(sources_, {});
    assign(sources_, std::move(sources), &LibraryStore::sourcesChanged);
    sourcesReplaced(previous);
}

// Only a change in which sources are online changes what the gallery shows,
// and all such changes of one turn share one reload.
void LibraryStore::sourcesReplaced(const QList<LibrarySource>& previous)
{
    if (onlineIDs(previous) == onlineIDs(sources_) || connectionReloadScheduled_) {
        return;
    }
    connectionReloadScheduled_ = true;
    startTask(this, connectionReload());
}

// A reload that started after the change read the sources as they are now,
// and covers it.
Task<> LibraryStore::connectionReload()
{
    if (std::exchange(connectionReloadScheduled_, false)) {
        co_await reload();
    }
}

void LibraryStore::setShowDisconnected(bool show)
{
    assign(showDisconnected_, show, &LibraryStore::showDisconnectedChanged);
    startReload();
}

void LibraryStore::setFilter(MediaFilter filter)
{
    assign(filter_, filter, &LibraryStore::filterChanged);
}

void LibraryStore::setSearch(const QString& search)
{
    assign(search_, search, &LibraryStore::searchChanged);
}

void LibraryStore::setMessage(const std::optional<QString>& message)
{
    if (catalogFailureSaid_) {
        return;
    }
    assign(message_, message, &LibraryStore::messageChanged);
}

SearchQuery LibraryStore::searchQuery() const
{
    return SearchParser::parse(search_, currentTimestamp(), SearchCalendar(), services_.places);
}

QList<QUuid> LibraryStore::offlineSourceIDs() const
{
    QList<QUuid> ids;
    for (const LibrarySource& source : sources_) {
        if (!source.isOnline) {
            ids.append(source.id);
        }
    }
    return ids;
}

QList<QUuid> LibraryStore::excludedSourceIDs() const
{
    if (selectedSourceID_ || selectedAlbumID_) {
        return {};
    }
    return excludedMapSources();
}

QList<QUuid> LibraryStore::excludedMapSources() const
{
    return showDisconnected_ ? QList<QUuid>{} : offlineSourceIDs();
}

void LibraryStore::setView(bool favorites, bool albums, bool map, const std::optional<QUuid>& albumID,
                           const std::optional<QUuid>& sourceID, const std::optional<QString>& folder)
{
    assign(showsFavorites_, favorites, &LibraryStore::showsFavoritesChanged);
    // The album overview drops the map before it shows itself, so no moment
    // has both flags set.
    if (albums) {
        assign(showsMap_, map, &LibraryStore::showsMapChanged);
        assign(showsAlbums_, albums, &LibraryStore::showsAlbumsChanged);
    } else {
        assign(showsAlbums_, albums, &LibraryStore::showsAlbumsChanged);
        assign(showsMap_, map, &LibraryStore::showsMapChanged);
    }
    assign(selectedAlbumID_, albumID, &LibraryStore::selectedAlbumIDChanged);
    assign(selectedSourceID_, sourceID, &LibraryStore::selectedSourceIDChanged);
    assign(selectedFolderPath_, folder, &LibraryStore::selectedFolderPathChanged);
}

// The album overview and the map show no gallery; emptying it at once, after
// taking a new generation, keeps a gallery query still under way from
// publishing into them.
void LibraryStore::clearGallery()
{
    setSearch(QString());
    publishItems(noItems());
    shownScope_.reset();
}

void LibraryStore::selectSource(const std::optional<QUuid>& id)
{
    setView(false, false, false, std::nullopt, id, std::nullopt);
    startReload();
}

void LibraryStore::selectFolder(const QUuid& sourceID, const QString& path)
{
    setView(false, false, false, std::nullopt, sourceID, path);
    startReload();
}

void LibraryStore::selectFavorites()
{
    setView(true, false, false, std::nullopt, std::nullopt, std::nullopt);
    startReload();
}

void LibraryStore::selectAlbums()
{
    assertMainThread();
    ++queryGeneration_;
    setView(false, true, false, std::nullopt, std::nullopt, std::nullopt);
    clearGallery();
    publishCount(albums_.size());
    startTask(this, refreshAlbums());
}

void LibraryStore::selectMap()
{
    assertMainThread();
    ++queryGeneration_;
    setView(false, false, true, std::nullopt, std::nullopt, std::nullopt);
    clearGallery();
    startReload();
    startLocationReading();
}

void LibraryStore::selectAlbum(const QUuid& id)
{
    const bool known = std::any_of(albums_.cbegin(), albums_.cend(), [&id](const Album& album) { return album.id == id; });
    if (!known) {
        return;
    }
    setView(false, false, false, id, std::nullopt, std::nullopt);
    setSearch(QString());
    setFilter(MediaFilter::all);
    startReload();
}

void LibraryStore::startReload()
{
    startTask(this, reload());
}

GalleryScope LibraryStore::galleryScope(const SearchQuery& search) const
{
    GalleryScope scope;
    scope.sourceID = selectedSourceID_;
    scope.filter = filter_;
    scope.search = search;
    scope.favoritesOnly = showsFavorites_;
    scope.albumID = selectedAlbumID_;
    scope.excludedSources = excludedSourceIDs();
    scope.folder = selectedFolderPath_;
    scope.offlineSources = offlineSourceIDs();
    return scope;
}

void LibraryStore::publishItems(MediaItems items, std::optional<MediaCatalog::GalleryStamp> stamp,
                                std::optional<qint64> count)
{
    assertMainThread();
    itemsStamp_ = std::move(stamp);
    releaseOffThread(std::exchange(items_, std::move(items)));
    ++itemsVersion_;
    if (count) {
        totalCount_ = *count;
        isCounting_ = false;
    }
    if (count) {
        Q_EMIT totalCountChanged();
    }
    Q_EMIT itemsChanged();
    Q_EMIT itemsVersionChanged();
}

void LibraryStore::publishCount(qint64 count)
{
    isCounting_ = false;
    assign(totalCount_, count, &LibraryStore::totalCountChanged);
}

void LibraryStore::startCounting()
{
    if (!isCounting_) {
        isCounting_ = true;
        Q_EMIT totalCountChanged();
    }
}

Task<> LibraryStore::reload(bool /*reset*/)
{
    assertMainThread();
    if (!catalog_) {
        co_return;
    }
    const int generation = ++queryGeneration_;
    connectionReloadScheduled_ = false;
    if (showsAlbums_) {
        publishCount(albums_.size());
    } else if (showsMap_) {
        co_await reloadMap(generation);
    } else {
        co_await reloadGallery(generation);
    }
}

// A map that cannot be read shows no photos; it raises no message.
Task<> LibraryStore::reloadMap(int generation)
{
    std::vector<MapPhoto> photos;
    try {
        photos = co_await catalog_->call(&MediaCatalog::mapPhotos, excludedMapSources());
    } catch (const std::exception&) {
        photos.clear();
    }
    if (queryGeneration_ != generation) {
        co_return;
    }
    const qint64 count = static_cast<qint64>(photos.size());
    ++mapPhotosVersion_;
    assign(mapPhotos_, std::move(photos), &LibraryStore::mapPhotosChanged);
    publishCount(count);
}

// A list of another scope is let go of as soon as the first screen of this
// one is in, before the whole is read; a reload of the scope shown keeps its
// list, and the user's place in it, until the whole arrives. The count comes
// with the list it counts, read together: beside a first screen the store
// says it is counting, so that no count of another list, or of another state
// of the catalog, stands beside the items shown. The scope is built again
// for the whole from the fields as they are then; only the parsed search is
// carried over. A scope whose rows have not changed since they were shown
// (after a rescan that wrote nothing, say) is neither read nor published
// again: a large library's list is not built twice over.
Task<> LibraryStore::reloadGallery(int generation)
{
    const SearchQuery search = searchQuery();
    try {
        const GalleryScope headScope = galleryScope(search);
        SqlPredicate shown = headScope.scopePredicate();
        if (shownScope_ != shown) {
            const ShownEdits::Mark headRead = shownEdits_.beginRead();
            GalleryIndex head = co_await catalog_->call(readGalleryHead, headScope, galleryHeadItems);
            if (queryGeneration_ != generation) {
                releaseOffThread(std::move(head.items));
                co_return;
            }
            shownEdits_.applyTo(*head.items, headRead, headScope.favoritesOnly);
            shownScope_ = std::move(shown);
            // A shorter head is the whole list.
            if (head.items->size() < std::size_t(galleryHeadItems)) {
                const auto count = static_cast<qint64>(head.items->size());
                publishItems(std::move(head.items), std::move(head.stamp), count);
                co_return;
            }
            startCounting();
            publishItems(std::move(head.items));
        }
        const GalleryScope indexScope = galleryScope(search);
        const ShownEdits::Mark indexRead = shownEdits_.beginRead();
        std::optional<GalleryIndex> index =
            co_await catalog_->call(readGalleryIndexUnlessShown, indexScope, itemsStamp_);
        if (queryGeneration_ != generation || !index) {
            releaseOffThread(index ? std::move(index->items) : nullptr);
            co_return;
        }
        shownEdits_.applyTo(*index->items, indexRead, indexScope.favoritesOnly);
        const auto count = static_cast<qint64>(index->items->size());
        publishItems(std::move(index->items), std::move(index->stamp), count);
        shownScope_ = indexScope.scopePredicate();
    } catch (const std::exception&) {
        setMessage(QStringLiteral("Could not load the gallery."));
    }
}

Task<> LibraryStore::refreshAlbums()
{
    if (!catalog_) {
        co_return;
    }
    try {
        QList<Album> albums = co_await catalog_->call(&MediaCatalog::albums);
        assign(albums_, std::move(albums), &LibraryStore::albumsChanged);
        if (showsAlbums_) {
            publishCount(albums_.size());
        }
    } catch (const std::exception&) {
        setMessage(QStringLiteral("Could not load albums."));
    }
}

} // namespace pivra
