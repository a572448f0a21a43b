#pragma once

#include "catalog/model/Album.h"
#include "catalog/CatalogExecutor.h"
#include "catalog/CatalogSummaries.h"
#include "catalog/GalleryScope.h"
#include "catalog/model/LibrarySource.h"
#include "catalog/model/MapPhoto.h"
#include "catalog/model/MediaItem.h"
#include "catalog/model/ThumbnailStatus.h"
#include "catalog/scan/FolderScan.h"
#include "catalog/scan/MediaInspector.h"
#include "catalog/search/SearchParser.h"
#include "media/camera/CameraSourceManager.h"
#include "media/SourceWatcher.h"
#include "platform/folders/FolderIdentity.h"
#include "platform/folders/MountTable.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/Task.h"
#include "platform/runtime/TaskHandle.h"
#include "platform/runtime/threads/Strand.h"
#include "store/FolderProbe.h"
#include "store/sources/FolderProber.h"
#include "store/ItemWriteChain.h"
#include "store/items/ShownEdits.h"
#include "store/ProcessMonitor.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUuid>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pivra {

class Clipboard;
class DialogPlaces;
class FolderPicker;
class MountMonitor;
class PlaceNamer;
class ShortcutSavePicker;
class ThumbnailStore;
class VideoPreviewStore;

// The whole gallery result, shared and never edited: a reload hands the
// vector the catalog thread built over to the GUI thread by pointer, and a
// view keeps the one it drew from for as long as it likes.
using MediaItems = std::shared_ptr<const std::vector<MediaItem>>;

// Freeing a few hundred thousand items takes longer than a frame, so whoever
// lets go of a result on the GUI thread hands it here: it is freed on the
// pool, unless someone else still holds it.
void releaseOffThread(MediaItems items);

using ThumbnailStatuses = QHash<QUuid, ThumbnailStatus>;
using IndexedFolders = QHash<QUuid, QStringList>;
using AvailableCameras = QList<AvailableCameraDevice>;
using UnopenedFolders = QHash<QUuid, QStringList>;

// What the store reaches outside itself. shared() gives the program's own;
// tests give a catalog in a temporary folder and a camera manager over a fake
// device backend.
struct LibraryServices {
    // Makes the catalog, on the catalog's own thread; throwing means there is
    // no catalog and the store runs without one.
    std::function<std::unique_ptr<MediaCatalog>()> openCatalog;
    CameraSourceManager* cameras = nullptr;
    // A disk, or any mount that holds or held a folder source's folder,
    // coming or going rescans the library.
    MountMonitor* mounts = nullptr;
    // The place names a search may use.
    PlaceLookup places;
    // Names the coordinate cells location reading finds; without one none is
    // asked for.
    PlaceNamer* placeNamer = nullptr;
    // Asks for folders to add or to reconnect; without one nothing is added.
    FolderPicker* folderPicker = nullptr;
    // Asks where a library shortcut goes; without one none is written.
    ShortcutSavePicker* shortcutSavePicker = nullptr;
    // Where copied originals go; without one nothing is copied.
    Clipboard* clipboard = nullptr;
    // Where the thumbnails and preview clips of removed sources are deleted,
    // and where the roots of the online folders are told.
    ThumbnailStore* thumbnails = nullptr;
    VideoPreviewStore* previews = nullptr;
    SourceWatcher::Timing watchTiming;
    // Reads new and changed files for the scans; none scans nothing.
    std::shared_ptr<const MediaInspector> inspector;
    // Lists a folder for its scan.
    FolderWalker walker = &walkFolder;
    // Reads what the disk says of a folder source (probeFolder, but in
    // tests); how long a probe may sleep in the file system before its disk
    // counts as one that does not answer (a busy machine, which only keeps it
    // waiting for a processor, never counts); and how many probes read at
    // once, stuck ones aside.
    std::function<FolderProbe(const LibrarySource&)> probeFolder;
    std::chrono::milliseconds probeTimeLimit{2000};
    int probeThreads = 16;
    // How often the sources whose folders the system's limit of watches
    // leaves partly unwatched are rescanned, as their changes are not seen.
    std::chrono::milliseconds partlyWatchedRescan = std::chrono::minutes(10);
    // The monotonic clock that spaces progress reports of the pipelines.
    std::function<std::chrono::steady_clock::time_point()> monotonicClock = &std::chrono::steady_clock::now;
    // Gives freed memory back to the system once every pipeline rests, on a
    // pool thread (trimHeap, but in tests).
    std::function<void()> releaseMemory = &trimHeap;
};

// The folder an online folder source reads, as this run found it. Its
// identity goes with every scan of the source, so that a disk that goes away
// between finding the folder and walking it deletes nothing.
struct AccessedFolder {
    QString path;
    FolderIdentity identity;
    // The mount it was found or chosen on: for a folder nothing of its own
    // tells from another, the one mount it may stay online on.
    std::optional<std::uint64_t> mount;
    // Found by its place alone (a share that numbers its files anew at each
    // mount), and not chosen by the user since: its scans must find some of
    // the source's files in it before they write or delete anything.
    bool knownByPlace = false;

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
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(QSet<QUuid> scanningSourceIDs READ scanningSourceIDs NOTIFY scanningSourceIDsChanged)
    Q_PROPERTY(int scannedCount READ scannedCount NOTIFY scannedCountChanged)
    Q_PROPERTY(pivra::UnopenedFolders unopenedFolders READ unopenedFolders NOTIFY unopenedFoldersChanged)
    Q_PROPERTY(QSet<QUuid> partlyWatchedSourceIDs READ partlyWatchedSourceIDs NOTIFY partlyWatchedSourceIDsChanged)
    Q_PROPERTY(pivra::AvailableCameras availableCameras READ availableCameras NOTIFY availableCamerasChanged)
    Q_PROPERTY(QSet<QUuid> lockedCameraSourceIDs READ lockedCameraSourceIDs NOTIFY lockedCameraSourceIDsChanged)
    Q_PROPERTY(bool isPreparingThumbnails READ isPreparingThumbnails NOTIFY isPreparingThumbnailsChanged)
    Q_PROPERTY(int thumbnailCompleted READ thumbnailCompleted NOTIFY thumbnailCompletedChanged)
    Q_PROPERTY(int thumbnailTotal READ thumbnailTotal NOTIFY thumbnailTotalChanged)
    Q_PROPERTY(int thumbnailFailed READ thumbnailFailed NOTIFY thumbnailFailedChanged)
    Q_PROPERTY(QString thumbnailSourceName READ thumbnailSourceName NOTIFY thumbnailSourceNameChanged)
    Q_PROPERTY(bool isPreparingVideoPreviews READ isPreparingVideoPreviews NOTIFY isPreparingVideoPreviewsChanged)
    Q_PROPERTY(int videoPreviewCompleted READ videoPreviewCompleted NOTIFY videoPreviewCompletedChanged)
    Q_PROPERTY(int videoPreviewTotal READ videoPreviewTotal NOTIFY videoPreviewTotalChanged)
    Q_PROPERTY(bool isReadingLocations READ isReadingLocations NOTIFY isReadingLocationsChanged)
    // The viewer, favourites and copying.
    Q_PROPERTY(std::optional<pivra::MediaItem> viewerItem READ viewerItem NOTIFY viewerItemChanged)
    Q_PROPERTY(bool isNavigating READ isNavigating NOTIFY isNavigatingChanged)
    Q_PROPERTY(int playbackToggleSerial READ playbackToggleSerial NOTIFY playbackToggleSerialChanged)

public:
    // The settings key of the stored source list, and the key that keeps the
    // part of it this program could not read while that cannot be moved to a
    // file of its own.
    static const QString sourcesKey;
    static const QString unreadableSourcesKey;
    // The settings key of the folder sources that were online when the list
    // was last saved: what the window shows of them until the first access
    // pass has answered.
    static const QString onlineSourcesKey;
    // The settings key of the folder the folder dialog last showed as the
    // user chose: the next one opens there.
    static const QString chooserFolderKey;
    // A gallery of more items than this shows its first ones before the
    // rest is read: more than the largest screen holds at the smallest row
    // height, and read in milliseconds.
    static constexpr int galleryHeadItems = 2000;

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
    // Whether the list shown is the first screen of a scope whose count is
    // still being read: totalCount is then not yet the count of what is
    // shown. Its changes are announced as changes of totalCount.
    bool isCounting() const { return isCounting_; }
    const ThumbnailStatuses& thumbnailStatuses() const { return thumbnailStatuses_; }
    const IndexedFolders& indexedFolders() const { return indexedFolders_; }
    bool showDisconnected() const { return showDisconnected_; }
    std::optional<QUuid> selectedSourceID() const { return selectedSourceID_; }
    std::optional<QString> selectedFolderPath() const { return selectedFolderPath_; }
    bool showsFavorites() const { return showsFavorites_; }
    bool showsAlbums() const { return showsAlbums_; }
    bool showsMap() const { return showsMap_; }
    const std::vector<MapPhoto>& mapPhotos() const { return mapPhotos_; }
    // Moves on with every publication of mapPhotos, so a view can tell an
    // unchanged list without comparing it.
    int mapPhotosVersion() const { return mapPhotosVersion_; }
    std::optional<QUuid> selectedAlbumID() const { return selectedAlbumID_; }
    MediaFilter filter() const { return filter_; }
    const QString& search() const { return search_; }
    const std::optional<QString>& message() const { return message_; }
    // The folder source the window asks the user to choose again; none while
    // no such question shows.
    std::optional<QUuid> permissionRequestSourceID() const { return permissionRequestSourceID_; }
    // Indexing: whether a folder scan runs, the sources not yet done (folder
    // and camera), and the files done in the folder being scanned.
    bool isScanning() const { return isScanning_; }
    const QSet<QUuid>& scanningSourceIDs() const { return scanningSourceIDs_; }
    int scannedCount() const { return scannedCount_; }
    // The sources whose last scan could not read everything, with the
    // folders it could not open (relative to the root; none listed when the
    // whole source could not be read). Their rows of what was not seen stay,
    // so the index is not complete.
    const UnopenedFolders& unopenedFolders() const { return unopenedFolders_; }
    // The online folder sources some of whose folders are not watched for
    // changes, for the system's limit of watches: their changes show at the
    // next rescan, which comes every partlyWatchedRescan.
    const QSet<QUuid>& partlyWatchedSourceIDs() const { return partlyWatchedSourceIDs_; }
    // Connected devices by name, and the camera sources whose device is locked.
    const AvailableCameras& availableCameras() const { return availableCameras_; }
    const QSet<QUuid>& lockedCameraSourceIDs() const { return lockedCameraSourceIDs_; }
    // Thumbnail preparation: whether a run is current, the thumbnails ready
    // and failed of its sources against their items, and what it works on.
    bool isPreparingThumbnails() const { return isPreparingThumbnails_; }
    int thumbnailCompleted() const { return thumbnailCompleted_; }
    int thumbnailTotal() const { return thumbnailTotal_; }
    int thumbnailFailed() const { return thumbnailFailed_; }
    const QString& thumbnailSourceName() const { return thumbnailSourceName_; }
    // Preview clips: whether a run makes clips, and the clips it has tried
    // against those it needs.
    bool isPreparingVideoPreviews() const { return isPreparingVideoPreviews_; }
    int videoPreviewCompleted() const { return videoPreviewCompleted_; }
    int videoPreviewTotal() const { return videoPreviewTotal_; }
    // Whether a location run has found rows to read.
    bool isReadingLocations() const { return isReadingLocations_; }

    // The background runs shown in the Processes tab; made with the store.
    ProcessMonitor& processes() { return processes_; }
    // Names the places of located photos; none in a store made without one.
    PlaceNamer* placeNamer() const { return services_.placeNamer; }

    // Access as the last pass left it: the online folder sources, those whose
    // folder the user must choose again (in source order) and those the user
    // declined this run; the sorted roots the folder watcher watches.
    const QHash<QUuid, AccessedFolder>& activeAccess() const { return activeAccess_; }
    // The folder sources kept offline because the folder at their place, on
    // a share that is known by its place alone, held none of their files:
    // each is taken back, with no question, once a scan finds its files there.
    QList<QUuid> strangeFolderSourceIDs() const { return strangeFolders_.keys(); }
    const QList<QUuid>& permissionNeededIDs() const { return permissionNeededIDs_; }
    const QSet<QUuid>& dismissedPermissionIDs() const { return dismissedPermissionIDs_; }
    const QStringList& watchedPaths() const { return watchedPaths_; }
    const SourceWatcher* watcher() const { return watcher_.get(); }

    bool hasCatalog() const { return catalog_ != nullptr; }
    int queryGeneration() const { return queryGeneration_; }
    int scanGeneration() const { return scanGeneration_; }
    int thumbnailGeneration() const { return thumbnailGeneration_; }

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
    // Starts bringing every source up to date: folder access again, the
    // devices' catalogs again, and one indexing run over the online folder
    // sources, one after another, replacing the run under way.
    void rescan();
    // Stops the indexing run at once, as the Processes tab's Stop does.
    void cancelScan();
    // One line for a set of sources: "No sources", the name, "A and B", or
    // "3 sources".
    static QString sourceSummary(const QStringList& names);

    // Makes the missing grid thumbnails of the online sources and records
    // their keys. With onlyIncomplete (after indexing) only sources with work
    // pending, silently; without (the user asks) every online source, whose
    // failed items are tried again.
    void startThumbnailPreparation(bool onlyIncomplete);
    void cancelThumbnailPreparation();

    // Makes the missing preview clips of the online, unlocked sources, two at
    // a time, unless clips are switched off, thumbnails are being prepared or
    // a run is under way.
    void startVideoPreviewPreparation();
    void cancelVideoPreviewPreparation();
    // Stops the run, switches clips off and deletes every clip, once the
    // clips a stopped run was still encoding are in place.
    Task<> deleteAllVideoPreviews();

    // Reads the locations of the folder sources' rows not checked yet, asks
    // for the names of the located cells and reloads a map on screen when
    // something was found. Nothing starts while a run is under way.
    void startLocationReading();
    void cancelLocationReading();

    // Adds the connected device as a camera source, or selects its source.
    void addCamera(const QString& deviceID);

    // The window's dialogs and the desktop's clipboard, which exist only once
    // the window does; until then the operations that need them do nothing.
    void setDesktopServices(FolderPicker* folders, ShortcutSavePicker* shortcuts, Clipboard* clipboard)
    {
        services_.folderPicker = folders;
        services_.shortcutSavePicker = shortcuts;
        services_.clipboard = clipboard;
    }

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

    // --- Albums and library shortcuts (LibraryStoreAlbums.cpp,
    // LibraryStoreShortcuts.cpp) ---

    // Names are trimmed of white space at both ends; a blank name, or a
    // store without a catalog, does nothing and says nothing. Each operation
    // writes in a task of its own and then refreshes the album list; a
    // failure is told through `message` and refreshes nothing.
    // `itemID`, when given, becomes the new album's first member.
    void createAlbum(const QString& name, const std::optional<QString>& itemID = std::nullopt);
    void renameAlbum(const QUuid& id, const QString& name);
    // Deleting the album on screen goes back to the album overview.
    void deleteAlbum(const QUuid& id);
    // Changing the members of the album on screen reloads its gallery.
    void addToAlbum(const QUuid& albumID, const QString& mediaID);
    void removeFromAlbum(const QUuid& albumID, const QString& mediaID);
    // Asks where to save a shortcut file that reopens `source`, and writes
    // it in a task of its own, off the GUI thread; a failure is told through
    // `message`. Asked again while its dialog is on its way or open, it asks
    // nothing.
    void createShortcut(const LibrarySource& source);

    // --- The viewer, favourites and copying (LibraryStoreViewer.cpp,
    // LibraryStoreFavorites.cpp) ---

    // The item the viewer shows; none while it is closed.
    const std::optional<MediaItem>& viewerItem() const { return viewerItem_; }
    // A step to another item is under way; further steps are ignored.
    bool isNavigating() const { return isNavigating_; }
    // Counts the window's requests to play or pause the viewer's video.
    int playbackToggleSerial() const { return playbackToggleSerial_; }
    void requestPlaybackToggle()
    {
        assign(playbackToggleSerial_, playbackToggleSerial_ + 1, &LibraryStore::playbackToggleSerialChanged);
    }
    // Moves on with every opening and closing, so a load or step that
    // started before publishes nothing.
    int viewerGeneration() const { return viewerGeneration_; }
    // Items whose favourite or rotation writes are still pending.
    qsizetype pendingFavoriteWrites() const { return favoriteWrites_.size(); }
    qsizetype pendingRotationWrites() const { return rotationWrites_.size(); }

    // Shows the catalog's full row of `item` once it has been read, and
    // steps later through the gallery as it is now, whatever the selection
    // becomes meanwhile.
    void openViewer(const MediaItem& item);
    // The same, stepping through `items` in their order instead.
    void openViewer(const MediaItem& item, const std::vector<MediaItem>& within);
    void closeViewer();
    // One item on (positive) or back (zero or less); nothing past either end.
    void navigateViewer(int direction);
    // Quarter turns, clockwise when positive; shown at once, saved behind.
    void rotateViewer(int quarters);
    // Flips the mark of the viewer's item or of a gallery item; shown at
    // once, saved behind.
    void toggleFavorite(const QString& id);
    // The viewer's video `id` played `seconds`, as its streams hold, which is
    // less than the length stored for it: shown at once in the viewer and the
    // gallery, saved behind. A longer length is ignored.
    void setStreamsDuration(const QString& id, double seconds);
    // Puts the original file of a folder item on the clipboard, or says
    // why not.
    void copyItem(const MediaItem& item);

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
    void isScanningChanged();
    void scanningSourceIDsChanged();
    void scannedCountChanged();
    void unopenedFoldersChanged();
    void partlyWatchedSourceIDsChanged();
    void availableCamerasChanged();
    void lockedCameraSourceIDsChanged();
    void isPreparingThumbnailsChanged();
    void thumbnailCompletedChanged();
    void thumbnailTotalChanged();
    void thumbnailFailedChanged();
    void thumbnailSourceNameChanged();
    void isPreparingVideoPreviewsChanged();
    void videoPreviewCompletedChanged();
    void videoPreviewTotalChanged();
    void isReadingLocationsChanged();
    void viewerItemChanged();
    void isNavigatingChanged();
    void playbackToggleSerialChanged();

private:
    template<typename T, typename U>
    void assign(T& field, U&& value, void (LibraryStore::*changed)())
    {
        assertMainThread();
        field = std::forward<U>(value);
        Q_EMIT(this->*changed)();
    }

    void publishCount(qint64 count);
    void startCounting();

    void openCatalog();
    void restoreSources();
    void watchCameraSources();
    void sourcesReplaced(const QList<LibrarySource>& previous);
    qsizetype indexOfSource(const QUuid& id) const;
    // Writes one source through the list: whatever `edit` changes of it is
    // one change of the list.
    template<typename Edit>
    void editSource(qsizetype index, Edit&& edit)
    {
        QList<LibrarySource> next = sources_;
        edit(next[index]);
        setSources(std::move(next));
    }

    // Puts the file on the clipboard once it is found on disk.
    Task<> copyIfOnDisk(MediaItem item);

    // Folder access (LibraryStoreAccess.cpp). A pass brings every folder
    // source online or offline; false when a newer pass replaced it before
    // it could apply what it found.
    struct ProbeAnswer;
    Task<bool> restoreAccess();
    void applyAccess(const QList<ProbeAnswer>& answers);
    // Decides one source of the list the pass will publish; true when the
    // source must be asked about.
    bool applyFolderAccess(LibrarySource& source, const std::optional<FolderProbe>& probe);
    void holdAccess(const QUuid& id, AccessedFolder folder);
    void dropAccess(const QUuid& id);
    // Tells the thumbnails which folders the online sources read.
    void publishSourceRoots();
    // A scan found the folder at the source's place strange: the source goes
    // offline with all it holds and the user is asked whether it is its own.
    void setAsideStrangeFolder(const QUuid& id, const AccessedFolder& folder);
    // A scan found the source's files at its place again.
    void takeBackStrangeFolder(const QUuid& id, const AccessedFolder& folder);
    void rebuildWatcher(QStringList awaited);
    void watchedInPart(const QStringList& roots);
    static void updateVolume(LibrarySource& source, const std::optional<VolumeFacts>& volume);
    void showNextPermissionRequest();
    void gatherLateAnswers();
    void followMounts(const QList<MountEntry>& mounted, const QList<MountEntry>& unmounted);
    bool concernsSources(const MountEntry& mount) const;
    // The folder sources whose folder or disk lies at or below the mount.
    QSet<QUuid> sourcesUnder(const MountEntry& mount) const;
    bool mayBringBackSource(const MountEntry& mount) const;
    Task<> answerPermissionRequest(QUuid id, bool reconnect);

    // Adding, reconnecting and removing (LibraryStoreSources.cpp).
    bool isKnownFolder(const QString& path) const;
    Task<std::optional<QStringList>> chooseFolders(QString message, bool several, QString startPath);
    // Looks off the GUI thread at `start` (none: nothing) and at the places
    // `dialog` lists of its own accord, and keeps its next dialog away from
    // those whose disk did not answer: the ones it answers. Any dialog the
    // store opens looks first.
    Task<QStringList> avoidSilentPlaces(DialogPlaces* dialog, QString start);
    Task<> addChosenFolders();
    Task<> reconnect(QUuid id);
    Task<> removeSourceData(QUuid id, QStringList keys);

    // Indexing (LibraryStoreScan.cpp).
    struct ScanTarget {
        QUuid id;
        AccessedFolder folder;
        QString name;
        // An offline source whose folder is scanned to see whether its files
        // are back (strangeFolders_).
        bool strange = false;
    };
    // Over every online folder source, or only those of `only` and those the
    // access pass brings online or to another folder. Sources a replaced run
    // had still to walk are walked in this one.
    void startRescan(const std::optional<QSet<QUuid>>& only);
    Task<> rescanSources(int generation, std::optional<QSet<QUuid>> only);
    qsizetype nextScanTarget(const QList<ScanTarget>& remaining) const;
    Task<> scanFolders(QList<ScanTarget> targets, std::optional<QUuid> processID, int generation);
    void indexCamera(const QUuid& sourceID, std::vector<MediaItem> items);
    Task<> indexCameraItems(QUuid sourceID, std::vector<MediaItem> items, QUuid processID);
    Task<> refreshThumbnailStatuses();
    Task<> refreshIndexedFolders(QUuid sourceID);
    void removeScanningSource(const QUuid& id);

    // Cameras (LibraryStoreCameras.cpp).
    void connectCameras();
    void refreshCameras();

    // Thumbnail preparation (LibraryStoreThumbnails.cpp).
    struct ThumbnailRun;
    QList<LibrarySource> thumbnailCandidates(bool onlyIncomplete) const;
    bool isCurrentThumbnailRun(const ThumbnailRun& run) const;
    Task<> prepareThumbnails(std::shared_ptr<ThumbnailRun> run);
    Task<> prepareThumbnailBatch(std::shared_ptr<ThumbnailRun> run, std::vector<MediaItem> batch);
    Task<> recordThumbnail(ThumbnailRun& run, QString id, std::optional<QString> key, bool forGood);
    // Throttled publications also bring the process record up to date.
    void publishThumbnailProgress(const ThumbnailRun& run, bool updatesRecord);

    // Preview clips (LibraryStoreVideoPreviews.cpp).
    Task<> prepareVideoPreviews(QList<QUuid> sourceIDs);

    // Location reading (LibraryStoreLocations.cpp).
    Task<> readLocations(QList<QUuid> sourceIDs);

    // Memory given back (LibraryStoreMemory.cpp): every pipeline's task runs
    // inside returningMemory, which trims the heap when the last one ends.
    bool pipelinesIdle() const;
    Task<> returningMemory(Task<> pipeline);
    // The view flags and chosen source, folder and album, in the order every
    // selection writes them.
    void setView(bool favorites, bool albums, bool map, const std::optional<QUuid>& albumID,
                 const std::optional<QUuid>& sourceID, const std::optional<QString>& folder);
    void clearGallery();
    void startReload();
    GalleryScope galleryScope(const SearchQuery& search) const;
    // `stamp` says what the items were read from, when they are a scope's
    // whole index as the catalog holds it; nothing for any other list. With
    // `count`, the count is set with the list before either is announced, so
    // no observer sees the one without the other.
    void publishItems(MediaItems items, std::optional<MediaCatalog::GalleryStamp> stamp = std::nullopt,
                      std::optional<qint64> count = std::nullopt);

    Task<> startUp();
    Task<> awaitCatalog();
    Task<> connectionReload();
    Task<> reloadMap(int generation);
    Task<> reloadGallery(int generation);

    LibraryServices services_;
    std::unique_ptr<CatalogExecutor> catalog_;
    // The catalog's per-source sums, read beside it (see CatalogSummaries.h).
    std::unique_ptr<SerialExecutor<CatalogSummaries>> summaries_;
    // A catalog that did not open and its sums, while calls made for them
    // may still be under way; and, while those answer, that it was said.
    std::unique_ptr<CatalogExecutor> unopenedCatalog_;
    std::unique_ptr<SerialExecutor<CatalogSummaries>> unopenedSummaries_;
    bool catalogFailureSaid_ = false;
    ProcessMonitor processes_;

    QList<LibrarySource> sources_;
    bool connectionReloadScheduled_ = false;
    QList<Album> albums_;
    MediaItems items_;
    std::optional<MediaCatalog::GalleryStamp> itemsStamp_;
    // The scope of the list shown, whole or its first screen; edits keep it.
    std::optional<SqlPredicate> shownScope_;
    int itemsVersion_ = 0;
    qint64 totalCount_ = 0;
    bool isCounting_ = false;
    ThumbnailStatuses thumbnailStatuses_;
    IndexedFolders indexedFolders_;
    bool showDisconnected_ = false;
    std::optional<QUuid> selectedSourceID_;
    std::optional<QString> selectedFolderPath_;
    bool showsFavorites_ = false;
    bool showsAlbums_ = false;
    bool showsMap_ = false;
    std::vector<MapPhoto> mapPhotos_;
    int mapPhotosVersion_ = 0;
    std::optional<QUuid> selectedAlbumID_;
    MediaFilter filter_ = MediaFilter::all;
    QString search_;
    std::optional<QString> message_;
    QHash<QUuid, AccessedFolder> activeAccess_;
    // What was held of the sources offline only because their disk stopped
    // answering: found on the same mount once it answers, their folder is
    // still theirs.
    QHash<QUuid, AccessedFolder> silentAccess_;
    // Sources whose folder, known by its place alone, held none of their
    // files, with the folder the last pass found at their place (none when
    // it found none). They stay offline, asked about once, until a scan
    // finds their files there again or the user chooses their folder.
    QHash<QUuid, std::optional<AccessedFolder>> strangeFolders_;
    // Sources whose folder the user chose since their last scan: whatever it
    // holds is theirs, by the user's word.
    QSet<QUuid> chosenByUser_;
    QList<QUuid> permissionNeededIDs_;
    QSet<QUuid> dismissedPermissionIDs_;
    std::optional<QUuid> permissionRequestSourceID_;
    // The source whose question the user answered and whose answer is still
    // being carried out.
    std::optional<QUuid> answeredPermissionID_;
    int accessGeneration_ = 0;
    std::unique_ptr<FolderProber> prober_;
    // A folder dialog, or a shortcut's, is being prepared or is open: no
    // second one of its kind opens.
    bool choosingFolders_ = false;
    bool choosingShortcutFile_ = false;
    // Runs while disks that did not answer answer again: they are looked at
    // again all together, once it ends.
    QTimer lateAnswers_;
    // The source list as last saved, so an unchanged list is not written
    // again, and the thread that writes it. Destroyed, it finishes the
    // writes queued first.
    std::optional<QList<LibrarySource>> persistedSources_;
    QStringList persistedOnline_;
    Strand sourcesWriter_;
    QStringList watchedPaths_;
    QStringList awaitedPaths_; // folders of offline sources found gone, sorted
    std::unique_ptr<SourceWatcher> watcher_;
    QSet<QUuid> partlyWatchedSourceIDs_;
    QTimer partlyWatchedRescan_;

    TaskHandle scanTask_;
    // The sources the current indexing run has still to walk; none: every
    // online one (its access pass has not answered yet).
    std::optional<QSet<QUuid>> unwalked_ = QSet<QUuid>{};
    std::optional<QUuid> indexingProcessID_;
    bool isScanning_ = false;
    QSet<QUuid> scanningSourceIDs_;
    int scannedCount_ = 0;
    UnopenedFolders unopenedFolders_;

    AvailableCameras availableCameras_;
    QSet<QUuid> lockedCameraSourceIDs_;

    TaskHandle thumbnailTask_;
    std::optional<QUuid> thumbnailProcessID_;
    int thumbnailGeneration_ = 0;
    bool isPreparingThumbnails_ = false;
    int thumbnailCompleted_ = 0;
    int thumbnailTotal_ = 0;
    int thumbnailFailed_ = 0;
    QString thumbnailSourceName_;

    // A run is current while this holds its handle: a stop clears it, so the
    // late end of a stopped run can tell it no longer owns the fields.
    TaskHandle videoPreviewTask_;
    // Every run started and perhaps still finishing the clips under way.
    QList<TaskHandle> videoPreviewRuns_;
    std::optional<QUuid> videoPreviewProcessID_;
    bool isPreparingVideoPreviews_ = false;
    int videoPreviewCompleted_ = 0;
    int videoPreviewTotal_ = 0;

    TaskHandle locationTask_;
    std::optional<QUuid> locationProcessID_;
    bool isReadingLocations_ = false;

    int scanGeneration_ = 0;
    int queryGeneration_ = 0;

    // --- Albums ---
    // One album write on the catalog thread: the album id and a name or an
    // item id.
    using AlbumWrite = void (*)(MediaCatalog&, const QUuid&, const QString&);
    // What follows a write that succeeded, besides the album list refresh.
    enum class AfterAlbumWrite { nothing, leaveShownAlbum, reloadShownAlbum };
    Task<> createAlbumWith(QString name, std::optional<QString> itemID);
    Task<> writeAlbum(AlbumWrite write, QUuid albumID, QString text, AfterAlbumWrite after, QString failure);
    void startAlbumWrite(AlbumWrite write, const QUuid& albumID, const QString& text, AfterAlbumWrite after,
                         const QString& failure);
    // Library shortcuts (LibraryStoreShortcuts.cpp).
    Task<> saveShortcut(QUuid sourceID, QString sourceName);

    // --- The viewer, favourites and copying ---
    Task<> loadViewerItem(QString id, int generation);
    Task<> stepThroughList(QString currentID, QString targetID, int generation);
    Task<> stepThroughGallery(MediaItem current, int direction, GalleryScope scope, int generation);
    void finishStep(const QString& currentID, std::optional<MediaItem> row, int generation);
    Task<> writeRotation(QString id, int quarters, ShownEdits::Mark edit);
    Task<> writeFavorite(QString id, bool favorite, ShownEdits::Mark edit);
    Task<> writeStreamsDuration(QString id, double seconds, ShownEdits::Mark edit);
    // The first gallery item with this id.
    std::optional<std::size_t> galleryIndexOf(const QString& id) const;
    // Publishes an edited copy of the gallery result, which views may still
    // hold.
    void publishEditedItems(const std::function<void(std::vector<MediaItem>&)>& edit,
                            std::optional<qint64> count = std::nullopt);

    std::optional<MediaItem> viewerItem_;
    bool isNavigating_ = false;
    int playbackToggleSerial_ = 0;
    int viewerGeneration_ = 0;
    // The gallery as it was when the viewer opened from it.
    std::optional<GalleryScope> viewerQuery_;
    // The ids to step through when the viewer opened on a list.
    std::optional<QStringList> viewerSequence_;
    ItemWriteChain rotationWrites_;
    ItemWriteChain favoriteWrites_;
    ShownEdits shownEdits_;
};

} // namespace pivra
