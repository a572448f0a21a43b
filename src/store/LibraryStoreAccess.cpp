// Folder access: which folder sources are online, what the thumbnails and the
// folder watcher see of them, and which must be chosen again.

#include "media/thumbnails/ThumbnailStore.h"
#include "platform/folders/FolderAccess.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/VolumeFacts.h"
#include "store/LibraryStore.h"

#include <QFileInfo>

#include <algorithm>

namespace pivra {

namespace {

// Whether the folder found lies on the filesystem the source was added on. A
// bookmark that names its filesystem was resolved through it, and the disk
// may since be mounted elsewhere; an older one that names none is held to the
// mount point recorded with the source.
bool onRecordedVolume(const LibrarySource& source, const FolderBookmark& bookmark, const ResolvedFolder& folder)
{
    if (bookmark.filesystem()) {
        return folder.filesystem == bookmark.filesystem();
    }
    if (!source.volumePath) {
        return true;
    }
    const std::optional<VolumeFacts> volume = volumeFacts(folder.path);
    return volume && volume->rootPath == *source.volumePath;
}

// An offline source is worth asking about only while its disk is there: the
// folder was moved or is refused, not unplugged. A disk's mount folder often
// stays when the disk goes, so the disk counts as there only while mounted.
bool diskIsThere(const LibrarySource& source)
{
    if (source.volumePath) {
        return isMountPoint(*source.volumePath);
    }
    return QFileInfo::exists(source.lastKnownPath);
}

} // namespace

void LibraryStore::restoreAccess()
{
    assertMainThread();
    QList<QUuid> queue;
    const qsizetype count = sources_.size();
    for (qsizetype index = 0; index < count; ++index) {
        if (sources_[index].kind == LibrarySource::Kind::camera) {
            continue;
        }
        if (restoreFolderAccess(index)) {
            queue.append(sources_[index].id);
        }
    }

    permissionNeededIDs_ = queue;
    if (permissionRequestSourceID_ && !queue.contains(*permissionRequestSourceID_)) {
        assign(permissionRequestSourceID_, std::nullopt, &LibraryStore::permissionRequestSourceIDChanged);
    }
    showNextPermissionRequest();
    persistSources();
    if (services_.thumbnails != nullptr) {
        QHash<QUuid, QString> roots;
        for (auto folder = activeAccess_.cbegin(); folder != activeAccess_.cend(); ++folder) {
            roots.insert(folder.key(), folder.value().path);
        }
        services_.thumbnails->setSourceRoots(std::move(roots));
    }
    rebuildWatcher();
}

bool LibraryStore::restoreFolderAccess(qsizetype index)
{
    const LibrarySource source = sources_[index];
    const QUuid id = source.id;
    const auto markOffline = [&] {
        dropAccess(id);
        editSource(index, [](LibrarySource& offline) { offline.isOnline = false; });
        return diskIsThere(sources_[index]);
    };

    const std::optional<FolderBookmark> bookmark = FolderBookmark::decode(source.bookmark);
    const std::optional<ResolvedFolder> folder = bookmark ? bookmark->resolve() : std::nullopt;
    if (!folder) {
        return markOffline();
    }
    const auto held = activeAccess_.constFind(id);
    const bool kept = held != activeAccess_.cend() && held->path == folder->path;
    if (!kept) {
        dropAccess(id);
        if (!FolderAccess::start(folder->path)) {
            return markOffline();
        }
    }
    const auto release = [&] {
        if (!kept) {
            FolderAccess::stop(folder->path);
        }
    };
    if (!onRecordedVolume(source, *bookmark, *folder) || !QFileInfo::exists(folder->path)) {
        release();
        return markOffline();
    }
    if (!canReadFolder(folder->path)) {
        // The folder is there and refuses to be read: always worth asking.
        release();
        markOffline();
        return true;
    }

    // A kept access goes on under the folder as found now, without a stop.
    activeAccess_.insert(id, AccessedFolder{folder->path, folder->identity});
    editSource(index, [&](LibrarySource& online) { online.lastKnownPath = folder->path; });
    editSource(index, [](LibrarySource& online) { online.isOnline = true; });
    updateVolume(index, folder->path);
    if (folder->stale) {
        // A bookmark that cannot be made again leaves the old one, which
        // still found the folder.
        if (const std::optional<FolderBookmark> renewed = FolderBookmark::make(folder->path)) {
            editSource(index, [&](LibrarySource& online) { online.bookmark = renewed->encode(); });
        }
    }
    return false;
}

void LibraryStore::holdAccess(const QUuid& id, AccessedFolder folder)
{
    dropAccess(id);
    FolderAccess::start(folder.path);
    activeAccess_.insert(id, std::move(folder));
}

void LibraryStore::dropAccess(const QUuid& id)
{
    if (const auto held = activeAccess_.constFind(id); held != activeAccess_.cend()) {
        FolderAccess::stop(held->path);
        activeAccess_.erase(held);
    }
}

// Rebuilding walks every watched tree again, so an unchanged set of roots
// keeps its watcher. A first pass with nothing online makes none at all.
void LibraryStore::rebuildWatcher()
{
    QStringList paths;
    for (const AccessedFolder& folder : std::as_const(activeAccess_)) {
        paths.append(folder.path);
    }
    std::sort(paths.begin(), paths.end());
    if (paths == watchedPaths_) {
        return;
    }
    if (watcher_) {
        watcher_->stop();
    }
    watchedPaths_ = paths;
    // Posted with the store as context: a change never rescans inside the
    // watcher's own call, nor for a store that is gone.
    watcher_ = std::make_unique<SourceWatcher>(
        paths, [this] { QMetaObject::invokeMethod(this, &LibraryStore::rescan, Qt::QueuedConnection); },
        services_.watchTiming);
}

// A volume that cannot be looked at leaves the recorded facts as they were.
void LibraryStore::updateVolume(qsizetype index, const QString& path)
{
    const std::optional<VolumeFacts> volume = volumeFacts(path);
    if (!volume) {
        return;
    }
    editSource(index, [&](LibrarySource& source) { source.volumePath = volume->rootPath; });
    editSource(index, [&](LibrarySource& source) { source.volumeName = volume->name; });
    editSource(index, [&](LibrarySource& source) { source.volumeCapacity = volume->capacity; });
}

void LibraryStore::showNextPermissionRequest()
{
    if (permissionRequestSourceID_) {
        return;
    }
    for (const QUuid& id : std::as_const(permissionNeededIDs_)) {
        if (!dismissedPermissionIDs_.contains(id)) {
            assign(permissionRequestSourceID_, id, &LibraryStore::permissionRequestSourceIDChanged);
            return;
        }
    }
}

QString LibraryStore::permissionRequestSourceName() const
{
    if (permissionRequestSourceID_) {
        if (const qsizetype index = indexOfSource(*permissionRequestSourceID_); index >= 0) {
            return sources_[index].name;
        }
    }
    return QStringLiteral("this source");
}

void LibraryStore::resolvePermissionRequest(bool reconnect)
{
    assertMainThread();
    if (!permissionRequestSourceID_) {
        return;
    }
    const QUuid id = *permissionRequestSourceID_;
    assign(permissionRequestSourceID_, std::nullopt, &LibraryStore::permissionRequestSourceIDChanged);
    if (reconnect) {
        reconnectSource(id);
    }
    // Asked once: a source still offline after the answer is not asked again
    // this run, so the question never loops.
    const qsizetype index = indexOfSource(id);
    if (index < 0 || !sources_[index].isOnline) {
        dismissedPermissionIDs_.insert(id);
    }
    showNextPermissionRequest();
}

} // namespace pivra
