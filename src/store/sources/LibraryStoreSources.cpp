// Adding, reconnecting and removing sources.

#include "catalog/MediaCatalog.h"
#include "media/camera/CameraSourceManager.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderAccess.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/runtime/TaskGroup.h"
#include "platform/runtime/threads/Pool.h"
#include "store/FolderProbe.h"
#include "store/sources/FolderPicker.h"
#include "store/LibraryStore.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace pivra {

namespace {

// The name a new folder source takes; the root folder has no last component.
QString lastComponent(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

// Whether the disk of `folder` answers a look, with the folder.
Task<std::pair<QString, bool>> answerOf(FolderProber& prober, QString folder)
{
    const bool answered = co_await prober.answers(folder);
    co_return std::pair<QString, bool>(folder, answered);
}

std::pair<StorageMeasure, StorageMeasure> measureFiles(ThumbnailStore* thumbnails, VideoPreviewStore* previews,
                                                       const QStringList& keys)
{
    return {thumbnails != nullptr ? thumbnails->footprint(keys) : StorageMeasure{},
            previews != nullptr ? previews->footprint(keys) : StorageMeasure{}};
}

void deleteFiles(ThumbnailStore* thumbnails, VideoPreviewStore* previews, const QStringList& keys)
{
    if (thumbnails != nullptr) {
        thumbnails->deleteThumbnails(keys);
    }
    if (previews != nullptr) {
        previews->deleteClips(keys);
    }
}

// The keys still used by no other source are read in the same catalog call
// that removes the rows, so no scan of another source can take one of them
// up in between. Keys the catalog cannot vouch for are kept.
QStringList removeRows(MediaCatalog& catalog, const QUuid& sourceID, const QStringList& approvedKeys)
{
    QStringList deletable;
    if (!approvedKeys.isEmpty()) {
        try {
            const QStringList exclusive = catalog.exclusiveThumbnailKeys(sourceID);
            std::copy_if(approvedKeys.cbegin(), approvedKeys.cend(), std::back_inserter(deletable),
                         [&exclusive](const QString& key) { return exclusive.contains(key); });
        } catch (const std::exception&) {
            deletable.clear();
        }
    }
    try {
        catalog.remove(sourceID);
    } catch (const std::exception&) {
        // the rows stay; the source is gone from the list all the same
    }
    return deletable;
}

} // namespace

qsizetype LibraryStore::indexOfSource(const QUuid& id) const
{
    const auto found = std::find_if(sources_.cbegin(), sources_.cend(),
                                    [&id](const LibrarySource& source) { return source.id == id; });
    return found == sources_.cend() ? -1 : found - sources_.cbegin();
}

void LibraryStore::addFolders()
{
    assertMainThread();
    if (services_.folderPicker == nullptr) {
        return;
    }
    startTask(this, addChosenFolders());
}

// Opens the dialog at `startPath` (none: where the user last chose) once its
// disk has answered a look, and else where the dialog opens by itself: a
// share that went away would hold the GUI thread in the dialog's first look.
// The places the dialog lists of its own accord are looked at alike, side by
// side, and those that did not answer are kept out of it. One dialog at a
// time: asked again meanwhile, it opens none. What the user chooses is where
// the next dialog opens.
Task<std::optional<QStringList>> LibraryStore::chooseFolders(QString message, bool several, QString startPath)
{
    if (choosingFolders_) {
        co_return std::nullopt;
    }
    choosingFolders_ = true;
    if (startPath.isEmpty()) {
        startPath = AppSettings().value(chooserFolderKey).toString();
    }
    const QStringList silent = co_await avoidSilentPlaces(services_.folderPicker, startPath);
    if (silent.contains(startPath)) {
        startPath.clear();
    }
    std::optional<QStringList> chosen = services_.folderPicker->chooseFolders(message, several, startPath);
    choosingFolders_ = false;
    if (chosen && !chosen->isEmpty()) {
        AppSettings().setValue(chooserFolderKey, QFileInfo(cleanFolderPath(chosen->first())).path());
    }
    co_return chosen;
}

// The looks at the places of the dialog and at where it opens all begin at
// once: each waits as long as the time limit when its disk is silent.
Task<QStringList> LibraryStore::avoidSilentPlaces(DialogPlaces* dialog, QString start)
{
    QStringList places = dialog->placesShown();
    if (!start.isEmpty() && !places.contains(start)) {
        places.prepend(start);
    }
    TaskGroup<std::pair<QString, bool>> looks;
    for (const QString& place : std::as_const(places)) {
        looks.add(this, answerOf(*prober_, place));
    }
    QStringList silent;
    while (looks.outstanding() > 0) {
        const std::pair<QString, bool> look = co_await looks.next();
        if (!look.second) {
            silent.append(look.first);
        }
    }
    dialog->avoidPlaces(silent);
    co_return silent;
}

bool LibraryStore::isKnownFolder(const QString& path) const
{
    return std::any_of(sources_.cbegin(), sources_.cend(),
                       [&path](const LibrarySource& source) { return source.lastKnownPath == path; });
}

Task<> LibraryStore::addChosenFolders()
{
    const std::optional<QStringList> chosen = co_await chooseFolders(
        QStringLiteral("Choose a folder or a disk in Locations to browse in Pivra. Your files stay in place."), true,
        QString());
    if (!chosen) {
        co_return;
    }
    QStringList paths;
    for (const QString& spelled : *chosen) {
        const QString path = cleanFolderPath(spelled);
        if (!isKnownFolder(path)) {
            paths.append(path);
        }
    }
    const std::vector<std::optional<ChosenFolder>> folders = co_await prober_->inspect(paths);
    for (qsizetype index = 0; index < paths.size(); ++index) {
        const QString& path = paths[index];
        const std::optional<ChosenFolder>& folder = folders[index];
        const QString name = lastComponent(path);
        if (isKnownFolder(path)) {
            continue;
        }
        if (!folder || !folder->bookmark) {
            setMessage(QStringLiteral("Could not save access to %1.").arg(name));
            continue;
        }
        if (!folder->readable) {
            setMessage(QStringLiteral("Pivra cannot read %1. Allow folder access and try again.").arg(name));
            continue;
        }
        LibrarySource source;
        source.id = QUuid::createUuid();
        source.name = name;
        source.bookmark = folder->bookmark->encode();
        source.lastKnownPath = path;
        source.isOnline = true;
        updateVolume(source, folder->volume);
        holdAccess(source.id,
                   AccessedFolder{path, folder->bookmark->identity().value_or(FolderIdentity{}), folder->mount});
        setSources(sources_ + QList<LibrarySource>{source});
        // The new source shows whole: a folder chosen in another source
        // would limit it to nothing.
        setView(false, false, false, std::nullopt, source.id, std::nullopt);
    }
    persistSources();
    rescan();
}

void LibraryStore::reconnectSource(const QUuid& id)
{
    assertMainThread();
    startTask(this, reconnect(id));
}

Task<> LibraryStore::reconnect(QUuid id)
{
    const qsizetype index = indexOfSource(id);
    if (index < 0) {
        co_return;
    }
    const LibrarySource source = sources_[index];
    if (source.kind == LibrarySource::Kind::camera) {
        if (source.deviceID && services_.cameras != nullptr) {
            services_.cameras->watch(*source.deviceID, id);
        }
        co_return;
    }
    if (services_.folderPicker == nullptr) {
        co_return;
    }
    const std::optional<QStringList> chosen =
        co_await chooseFolders(QStringLiteral("Choose the folder for %1.").arg(source.name), false, source.lastKnownPath);
    if (!chosen || chosen->isEmpty()) {
        co_return;
    }
    const QString path = cleanFolderPath(chosen->first());
    QStringList paths;
    paths.append(path);
    const std::vector<std::optional<ChosenFolder>> folders = co_await prober_->inspect(paths);
    const std::optional<ChosenFolder>& folder = folders.front();
    if (!folder || !folder->bookmark) {
        setMessage(QStringLiteral("Could not reconnect this folder."));
        co_return;
    }
    if (!folder->readable) {
        setMessage(QStringLiteral("Pivra cannot read this folder. Allow access and try again."));
        co_return;
    }
    // The dialog ran the event loop: the source may have gone or moved.
    const qsizetype current = indexOfSource(id);
    if (current < 0) {
        co_return;
    }
    // The one place a source takes a new folder: what the user chose is from
    // now on the folder its scans are held to, and what it holds is the
    // source's by the user's word, whatever the source held before.
    holdAccess(id, AccessedFolder{path, folder->bookmark->identity().value_or(FolderIdentity{}), folder->mount});
    strangeFolders_.remove(id);
    chosenByUser_.insert(id);
    editSource(current, [&](LibrarySource& edited) {
        edited.bookmark = folder->bookmark->encode();
        edited.lastKnownPath = path;
        edited.name = lastComponent(path);
        edited.isOnline = true;
        updateVolume(edited, folder->volume);
    });
    persistSources();
    rescan();
}

Task<RemovalFootprint> LibraryStore::removableThumbnails(const QUuid& sourceID)
{
    RemovalFootprint footprint;
    if (catalog_) {
        try {
            footprint.keys = co_await catalog_->call(&MediaCatalog::exclusiveThumbnailKeys, sourceID);
        } catch (const std::exception&) {
            footprint.keys.clear();
        }
    }
    const auto [thumbnails, clips] = co_await runOnPool(PoolPriority::userInitiated, &measureFiles,
                                                        services_.thumbnails, services_.previews, footprint.keys);
    footprint.count = thumbnails.count;
    footprint.previews = clips.count;
    footprint.bytes = thumbnails.bytes + clips.bytes;
    co_return footprint;
}

void LibraryStore::removeSource(const QUuid& id, const QStringList& deletingThumbnails)
{
    assertMainThread();
    // The scan's generation stays: the rescan that ends the removal replaces
    // it, and a scan that ends before that ends its own record as stopped.
    scanTask_.cancel();
    cancelVideoPreviewPreparation();
    cancelThumbnailPreparation();
    if (viewerItem_ && viewerItem_->sourceID() == id) {
        closeViewer();
    }
    dropAccess(id);
    silentAccess_.remove(id);
    strangeFolders_.remove(id);
    chosenByUser_.remove(id);
    if (services_.cameras != nullptr) {
        services_.cameras->unwatch(id);
    }
    QList<LibrarySource> remaining = sources_;
    remaining.removeIf([&id](const LibrarySource& source) { return source.id == id; });
    setSources(std::move(remaining));
    indexedFolders_.remove(id);
    Q_EMIT indexedFoldersChanged();
    if (selectedSourceID_ == id) {
        assign(selectedSourceID_, std::nullopt, &LibraryStore::selectedSourceIDChanged);
        assign(selectedFolderPath_, std::nullopt, &LibraryStore::selectedFolderPathChanged);
    }
    persistSources();
    startTask(this, removeSourceData(id, deletingThumbnails));
}

Task<> LibraryStore::removeSourceData(QUuid id, QStringList keys)
{
    QStringList deletable;
    if (catalog_) {
        deletable = co_await catalog_->call(&removeRows, id, keys);
    }
    if (!deletable.isEmpty()) {
        co_await runOnPool(PoolPriority::utility, &deleteFiles, services_.thumbnails, services_.previews, deletable);
    }
    co_await refreshAlbums();
    co_await reload();
    rescan();
}

} // namespace pivra
