#pragma once

#include "catalog/Album.h"
#include "catalog/CatalogExecutor.h"
#include "catalog/GalleryScope.h"
#include "catalog/LibrarySource.h"
#include "catalog/MapPhoto.h"
#include "catalog/MediaItem.h"
#include "catalog/ThumbnailStatus.h"
#include "catalog/search/SearchParser.h"
#include "media/SourceWatcher.h"
#include "platform/FolderIdentity.h"
#include "platform/MainThread.h"
#include "platform/Task.h"
#include "store/ProcessMonitor.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pivra {

class CameraSourceManager;
class FolderPicker;
class MountMonitor;
class ThumbnailStore;
class VideoPreviewStore;

// The whole gallery result, shared and never edited: a reload hands the
// vector the catalog thread built over to the GUI thread by pointer, and a
// view keeps the one it drew from for as long as it likes.
using MediaItems = std::shared_ptr<const std::vector<MediaItem>>;
using ThumbnailStatuses = QHash<QUuid, ThumbnailStatus>;
using IndexedFolders = QHash<QUuid, QStringList>;

// What the store reaches outside itself. shared() gives the program's own;
// tests give a catalog in a temporary folder and a camera manager over a fake
// device backend.
struct LibraryServices {
    // Makes the catalog, on the catalog's own thread; throwing means there is
    // no catalog and the store runs without one.
    std::function<std::unique_ptr<MediaCatalog>()> openCatalog;
    CameraSourceManager* cameras = nullptr;
    // Every volume mounted or unmounted rescans the library.
    MountMonitor* mounts = nullptr;
    // The place names a search may use.
    PlaceLookup places;
    // Asks for folders to add or to reconnect; without one nothing is added.
    FolderPicker* folderPicker = nullptr;
    // Where the thumbnails and preview clips of removed sources are deleted,
    // and where the roots of the online folders are told.
    ThumbnailStore* thumbnails = nullptr;
    VideoPreviewStore* previews = nullptr;
    SourceWatcher::Timing watchTiming;
};

// The folder an online folder source reads, as this run found it. Its
// identity goes with every scan of the source, so that a disk that goes away
// between finding the folder and walking it deletes nothing.
struct AccessedFolder {
    QString path;
    FolderIdentity identity;

    bool operator==(const AccessedFolder&) const = default;
};

// What removing a source could free: the thumbnail keys no other source
// uses, and how many thumbnails and preview clips exist for them, with their
// bytes together.
struct RemovalFootprint {
    QStringList keys;
    int count = 0;
    int previews = 0;
    std::int64_t bytes = 0;
};

// The library as the window sees it. Everything lives on the GUI thread:
// every mutator asserts it, and every write to a published field is
// announced through its signal, even when the value did not change, so a
// view never has to compare before it redraws.
//
// Gallery queries may overlap and none is cancelled: each reload takes a new
// generation number and publishes only while no newer reload or view change
// has taken another.
class LibraryStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<pivra::LibrarySource> sources READ sources NOTIFY sourcesChanged)
    Q_PROPERTY(QList<pivra::Album> albums READ albums NOTIFY albumsChanged)
    Q_PROPERTY(pivra::MediaItems items READ items NOTIFY itemsChanged)
    Q_PROPERTY(int itemsVersion READ itemsVersion NOTIFY itemsVersionChanged)
    Q_PROPERTY(qint64 totalCount READ totalCount NOTIFY totalCountChanged)
    Q_PROPERTY(pivra::ThumbnailStatuses thumbnailStatuses READ thumbnailStatuses NOTIFY thumbnailStatusesChanged)
    Q_PROPERTY(pivra::IndexedFolders indexedFolders READ indexedFolders NOTIFY indexedFoldersChanged)
    Q_PROPERTY(bool showDisconnected READ showDisconnected WRITE setShowDisconnected NOTIFY showDisconnectedChanged)
    Q_PROPERTY(std::optional<QUuid> selectedSourceID READ selectedSourceID NOTIFY selectedSourceIDChanged)
    Q_PROPERTY(std::optional<QString> selectedFolderPath READ selectedFolderPath NOTIFY selectedFolderPathChanged)
    Q_PROPERTY(bool showsFavorites READ showsFavorites NOTIFY showsFavoritesChanged)
    Q_PROPERTY(bool showsAlbums READ showsAlbums NOTIFY showsAlbumsChanged)
    Q_PROPERTY(bool showsMap READ showsMap NOTIFY showsMapChanged)
    Q_PROPERTY(std::vector<pivra::MapPhoto> mapPhotos READ mapPhotos NOTIFY mapPhotosChanged)
    Q_PROPERTY(std::optional<QUuid> selectedAlbumID READ selectedAlbumID NOTIFY selectedAlbumIDChanged)
    Q_PROPERTY(pivra::MediaFilter filter READ filter WRITE setFilter NOTIFY filterChanged)
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)
    Q_PROPERTY(std::optional<QString> message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(std::optional<QUuid> permissionRequestSourceID READ permissionRequestSourceID NOTIFY
                   permissionRequestSourceIDChanged)

public:
    // The settings key of the stored source list, and the key that keeps a
    // stored list this program could not read, so that saving the (then
    // empty) list does not lose the user's sources.
    static const QString sourcesKey;
    static const QString unreadableSourcesKey;

    // Opens the catalog, restores the stored sources, watches the devices of
    // camera sources and the mounted volumes, and starts bringing the library
    // up to date.
    explicit LibraryStore(LibraryServices services, QObject* parent = nullptr);
    ~LibraryStore() override;

    // The program's one store, over the real catalog and devices, made on
    // first use. GUI thread only.
    static LibraryStore& shared();

    const QList<LibrarySource>& sources() const { return sources_; }
    const QList<Album>& albums() const { return albums_; }
    const MediaItems& items() const { return items_; }
    int itemsVersion() const { return itemsVersion_; }
    qint64 totalCount() const { return totalCount_; }
    const ThumbnailStatuses& thumbnailStatuses() const { return thumbnailStatuses_; }
    const IndexedFolders& indexedFolders() const { return indexedFolders_; }
    bool showDisconnected() const { return showDisconnected_; }
    std::optional<QUuid> selectedSourceID() const { return selectedSourceID_; }
    std::optional<QString> selectedFolderPath() const { return selectedFolderPath_; }
    bool showsFavorites() const { return showsFavorites_; }
    bool showsAlbums() const { return showsAlbums_; }
    bool showsMap() const { return showsMap_; }
    const std::vector<MapPhoto>& mapPhotos() const { return mapPhotos_; }
    std::optional<QUuid> selectedAlbumID() const { return selectedAlbumID_; }
    MediaFilter filter() const { return filter_; }
    const QString& search() const { return search_; }
    const std::optional<QString>& message() const { return message_; }
    // The folder source the window asks the user to choose again; none while
    // no such question shows.
    std::optional<QUuid> permissionRequestSourceID() const { return permissionRequestSourceID_; }

    // The background runs shown in the Processes tab; made with the store.
    ProcessMonitor& processes() { return processes_; }

    // Access as the last pass left it: the online folder sources, those whose
    // folder the user must choose again (in source order) and those the user
    // declined this run; the sorted roots the folder watcher watches.
    const QHash<QUuid, AccessedFolder>& activeAccess() const { return activeAccess_; }
    const QList<QUuid>& permissionNeededIDs() const { return permissionNeededIDs_; }
    const QSet<QUuid>& dismissedPermissionIDs() const { return dismissedPermissionIDs_; }
    const QStringList& watchedPaths() const { return watchedPaths_; }
    const SourceWatcher* watcher() const { return watcher_.get(); }

    bool hasCatalog() const { return catalog_ != nullptr; }
    int queryGeneration() const { return queryGeneration_; }
    int scanGeneration() const { return scanGeneration_; }

    // Replaces the source list. When the set of online sources changed, one
    // gallery reload follows in a later turn, however many changes this
    // turn makes.
    void setSources(QList<LibrarySource> sources);
    // Saves the whole source list under sourcesKey. A list kept aside as
    // unreadable stays where it is.
    void persistSources();
    // Each write reloads the gallery.
    void setShowDisconnected(bool show);
    void setFilter(MediaFilter filter);
    void setSearch(const QString& search);
    void setMessage(const std::optional<QString>& message);

    // The parsed search text, judged against the current date and calendar.
    SearchQuery searchQuery() const;
    // Offline sources the gallery leaves out: none while a source or album is
    // chosen or disconnected media are shown.
    QList<QUuid> excludedSourceIDs() const;
    QList<QUuid> offlineSourceIDs() const;
    QList<QUuid> excludedMapSources() const;

    // The gallery's views. Each sets the selection at once and fills the view
    // in a task of its own.
    void selectSource(const std::optional<QUuid>& id);
    void selectFolder(const QUuid& sourceID, const QString& path);
    void selectFavorites();
    void selectAlbums();
    void selectMap();
    void selectAlbum(const QUuid& id);

    // Runs the query of the current view and publishes its result unless a
    // newer one started meanwhile. `reset` is accepted and has no effect.
    Task<> reload(bool reset = false);
    Task<> refreshAlbums();
    // Starts bringing every source up to date.
    void rescan();

    // Asks for folders and adds each new readable one as a source, selected
    // at once; then saves the list and rescans, unless the user cancelled.
    void addFolders();
    // A folder source: asks for its folder again and, when it can be read,
    // takes it (and its name). A camera source: watches its device again.
    void reconnectSource(const QUuid& id);
    // What removing the source could free, for the question before it.
    Task<RemovalFootprint> removableThumbnails(const QUuid& sourceID);
    // Removes the source at once from the list and the selection; its rows,
    // and the thumbnails and clips of `keys` still used by no other source,
    // go in a task that ends with a rescan. Empty keys keep every file.
    void removeSource(const QUuid& id, const QStringList& deletingThumbnails);

    // The name the access question shows: "this source" when the source is
    // gone.
    QString permissionRequestSourceName() const;
    // The user's answer to the question: choose the folder again, or not.
    // A source still offline afterwards is not asked about again this run.
    void resolvePermissionRequest(bool reconnect);

Q_SIGNALS:
    void sourcesChanged();
    void albumsChanged();
    void itemsChanged();
    void itemsVersionChanged();
    void totalCountChanged();
    void thumbnailStatusesChanged();
    void indexedFoldersChanged();
    void showDisconnectedChanged();
    void selectedSourceIDChanged();
    void selectedFolderPathChanged();
    void showsFavoritesChanged();
    void showsAlbumsChanged();
    void showsMapChanged();
    void mapPhotosChanged();
    void selectedAlbumIDChanged();
    void filterChanged();
    void searchChanged();
    void messageChanged();
    void permissionRequestSourceIDChanged();

private:
    template<typename T, typename U>
    void assign(T& field, U&& value, void (LibraryStore::*changed)())
    {
        assertMainThread();
        field = std::forward<U>(value);
        Q_EMIT(this->*changed)();
    }

    void openCatalog();
    void restoreSources();
    void watchCameraSources();
    void sourcesReplaced(const QList<LibrarySource>& previous);
    qsizetype indexOfSource(const QUuid& id) const;
    // Writes one source through the list, so each field change runs the
    // list's observer on its own.
    template<typename Edit>
    void editSource(qsizetype index, Edit&& edit)
    {
        QList<LibrarySource> next = sources_;
        edit(next[index]);
        setSources(std::move(next));
    }

    // Folder access (LibraryStoreAccess.cpp).
    void restoreAccess();
    // Brings one folder source online or offline; true when it must be asked
    // about.
    bool restoreFolderAccess(qsizetype index);
    void holdAccess(const QUuid& id, AccessedFolder folder);
    void dropAccess(const QUuid& id);
    void rebuildWatcher();
    void updateVolume(qsizetype index, const QString& path);
    void showNextPermissionRequest();
    Task<> removeSourceData(QUuid id, QStringList keys);
    // The view flags and chosen source, folder and album, in the order every
    // selection writes them.
    void setView(bool favorites, bool albums, bool map, const std::optional<QUuid>& albumID,
                 const std::optional<QUuid>& sourceID, const std::optional<QString>& folder);
    void clearGallery();
    void startReload();
    GalleryScope galleryScope(const SearchQuery& search) const;
    void publishItems(MediaItems items);

    Task<> startUp();
    Task<> connectionReload();
    Task<> reloadMap(int generation);
    Task<> reloadGallery(int generation);

    LibraryServices services_;
    std::unique_ptr<CatalogExecutor> catalog_;
    ProcessMonitor processes_;

    QList<LibrarySource> sources_;
    bool connectionReloadScheduled_ = false;
    QList<Album> albums_;
    MediaItems items_;
    int itemsVersion_ = 0;
    qint64 totalCount_ = 0;
    ThumbnailStatuses thumbnailStatuses_;
    IndexedFolders indexedFolders_;
    bool showDisconnected_ = false;
    std::optional<QUuid> selectedSourceID_;
    std::optional<QString> selectedFolderPath_;
    bool showsFavorites_ = false;
    bool showsAlbums_ = false;
    bool showsMap_ = false;
    std::vector<MapPhoto> mapPhotos_;
    std::optional<QUuid> selectedAlbumID_;
    MediaFilter filter_ = MediaFilter::all;
    QString search_;
    std::optional<QString> message_;
    QHash<QUuid, AccessedFolder> activeAccess_;
    QList<QUuid> permissionNeededIDs_;
    QSet<QUuid> dismissedPermissionIDs_;
    std::optional<QUuid> permissionRequestSourceID_;
    QStringList watchedPaths_;
    std::unique_ptr<SourceWatcher> watcher_;
    int scanGeneration_ = 0;
    int queryGeneration_ = 0;
};

} // namespace pivra
