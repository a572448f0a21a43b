// Folder access: which folder sources are online, what the thumbnails and the
// folder watcher see of them, and which must be chosen again.

#include "media/thumbnails/ThumbnailStore.h"
#include "platform/folders/FolderAccess.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/FolderWatcher.h"
#include "platform/folders/VolumeFacts.h"
#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "store/FolderProbe.h"
#include "store/LibraryStore.h"
#include "store/sources/SourcesLog.h"

#include <algorithm>
#include <chrono>

namespace pivra {

namespace {

// Disks that come back answer together, their probes a few at a time: the
// answers that come within this time of the first are looked at in one pass.
constexpr std::chrono::milliseconds lateAnswerGathering{1000};

} // namespace

// One source's probe as a pass ran it: none when its disk did not answer.
struct LibraryStore::ProbeAnswer {
    QUuid id;
    QByteArray bookmark; // the record probed, to tell a reconnect made meanwhile
    std::optional<FolderProbe> probe;
};

// The probes read the disks off the GUI thread (see FolderProber), and their
// answers are then applied here, source by source in list order, as one
// synchronous pass. Until then every source keeps the state it had. A newer
// pass started meanwhile makes this one apply nothing.
Task<bool> LibraryStore::restoreAccess()
{
    assertMainThread();
    const int generation = ++accessGeneration_;
    QList<LibrarySource> folders;
    for (const LibrarySource& source : std::as_const(sources_)) {
        if (source.kind == LibrarySource::Kind::folder) {
            folders.append(source);
        }
    }
    std::vector<std::optional<FolderProbe>> found = co_await prober_->probe(folders);
    if (generation != accessGeneration_) {
        co_return false;
    }
    QList<ProbeAnswer> answers;
    answers.reserve(folders.size());
    for (qsizetype index = 0; index < folders.size(); ++index) {
        answers.append(ProbeAnswer{folders[index].id, folders[index].bookmark, std::move(found[index])});
    }
    applyAccess(answers);
    co_return true;
}

// Every source's access is decided on a copy of the list, published once:
// a pass over thousands of folders is one change for the window, not a few
// per source.
void LibraryStore::applyAccess(const QList<ProbeAnswer>& answers)
{
    QList<LibrarySource> next = sources_;
    QHash<QUuid, qsizetype> positions;
    positions.reserve(next.size());
    for (qsizetype index = 0; index < next.size(); ++index) {
        positions.insert(next[index].id, index);
    }
    QList<QUuid> queue;
    // The folders this pass found gone are awaited: one that comes back
    // (moved back, or made again) starts the pass that finds out whether it
    // is still the source's own.
    QStringList awaited;
    for (const ProbeAnswer& answer : answers) {
        const qsizetype index = positions.value(answer.id, -1);
        // A source removed, or reconnected by the user, while the probes ran
        // keeps what that gave it.
        if (index < 0 || next[index].bookmark != answer.bookmark) {
            continue;
        }
        LibrarySource& source = next[index];
        // One set aside for a strange folder stays asked about, whatever its
        // disk does, until its files are back or the user answers.
        if (applyFolderAccess(source, answer.probe) || (!source.isOnline && strangeFolders_.contains(answer.id))) {
            queue.append(answer.id);
        }
        if (!source.isOnline && answer.probe && !answer.probe->lastPathIsThere && !source.lastKnownPath.isEmpty()) {
            awaited.append(source.lastKnownPath);
        }
        if (source.isOnline) {
            qCInfo(sourcesLog, "source \"%s\": online %s", qUtf8Printable(source.name),
                   qUtf8Printable(source.lastKnownPath));
        } else {
            qCInfo(sourcesLog, "source \"%s\": offline", qUtf8Printable(source.name));
        }
    }
    setSources(std::move(next));

    permissionNeededIDs_ = queue;
    if (permissionRequestSourceID_ && !queue.contains(*permissionRequestSourceID_)) {
        assign(permissionRequestSourceID_, std::nullopt, &LibraryStore::permissionRequestSourceIDChanged);
    }
    showNextPermissionRequest();
    persistSources();
    publishSourceRoots();
    rebuildWatcher(std::move(awaited));
    qCInfo(sourcesLog, "access pass done");
}

void LibraryStore::publishSourceRoots()
{
    if (services_.thumbnails != nullptr) {
        QHash<QUuid, QString> roots;
        for (auto folder = activeAccess_.cbegin(); folder != activeAccess_.cend(); ++folder) {
            roots.insert(folder.key(), folder.value().path);
        }
        services_.thumbnails->setSourceRoots(std::move(roots));
    }
}

// Nothing is lost: the rows, marks and albums stay as they were, as for a
// disk that is not plugged in, until the source's own files are seen at its
// place again or the user says the folder is its own.
void LibraryStore::setAsideStrangeFolder(const QUuid& id, const AccessedFolder& folder)
{
    const qsizetype index = indexOfSource(id);
    if (index < 0) {
        return;
    }
    qWarning("pivra: %s holds none of the files of the source \"%s\", so it may be another folder: the source "
             "stays offline with everything it had",
             qPrintable(folder.path), qPrintable(sources_[index].name));
    strangeFolders_.insert(id, folder);
    dropAccess(id);
    editSource(index, [](LibrarySource& source) { source.isOnline = false; });
    if (!permissionNeededIDs_.contains(id)) {
        permissionNeededIDs_.append(id);
    }
    showNextPermissionRequest();
    publishSourceRoots();
    rebuildWatcher(awaitedPaths_);
}

// The question no longer needs an answer: it goes, and the next one shows.
void LibraryStore::takeBackStrangeFolder(const QUuid& id, const AccessedFolder& folder)
{
    strangeFolders_.remove(id);
    const qsizetype index = indexOfSource(id);
    if (index < 0) {
        return;
    }
    holdAccess(id, folder);
    editSource(index, [&folder](LibrarySource& source) {
        source.lastKnownPath = folder.path;
        source.isOnline = true;
    });
    permissionNeededIDs_.removeAll(id);
    if (permissionRequestSourceID_ == id) {
        assign(permissionRequestSourceID_, std::nullopt, &LibraryStore::permissionRequestSourceIDChanged);
        showNextPermissionRequest();
    }
    persistSources();
    publishSourceRoots();
    rebuildWatcher(awaitedPaths_);
}

bool LibraryStore::applyFolderAccess(LibrarySource& source, const std::optional<FolderProbe>& probe)
{
    const QUuid id = source.id;
    const auto strange = strangeFolders_.find(id);
    if (strange != strangeFolders_.end()) {
        *strange = std::nullopt;
    }
    const auto markOffline = [&](bool worthAsking) {
        dropAccess(id);
        source.isOnline = false;
        return worthAsking;
    };
    // A probe that did not answer says nothing of the disk: asking the user
    // to choose a folder on a share that hangs would not help.
    if (!probe) {
        if (const auto held = activeAccess_.constFind(id); held != activeAccess_.cend()) {
            silentAccess_.insert(id, *held);
        }
        return markOffline(false);
    }
    const std::optional<AccessedFolder> silent =
        silentAccess_.contains(id) ? std::optional(silentAccess_.take(id)) : std::nullopt;
    if (!probe->folder) {
        return markOffline(probe->diskIsThere);
    }
    const ResolvedFolder& folder = *probe->folder;
    const auto held = activeAccess_.constFind(id);
    const bool kept = held != activeAccess_.cend() && held->path == folder.path;
    if (!kept) {
        dropAccess(id);
        if (!FolderAccess::start(folder.path)) {
            return markOffline(probe->diskIsThere);
        }
    }
    const auto release = [&] {
        if (!kept) {
            FolderAccess::stop(folder.path);
        }
    };
    if (!probe->onRecordedVolume || !probe->exists) {
        release();
        return markOffline(probe->diskIsThere);
    }
    if (!probe->readable) {
        // The folder is there and refuses to be read: always worth asking.
        release();
        return markOffline(true);
    }
    // A folder nothing of its own tells from another's stays online only on
    // the mount it was held on, also through a time its disk did not answer:
    // once that mount went, what is found in its place may be another
    // disk's, and is asked about as a folder made anew is.
    const auto heldOn = [&folder](const std::optional<AccessedFolder>& access) {
        return access && access->mount && access->path == folder.path && access->mount == folder.mount;
    };
    if (!folder.proven && !heldOn(kept ? std::optional(*held) : std::nullopt) && !heldOn(silent)) {
        release();
        return markOffline(true);
    }

    // A kept access goes on under the folder as found now, without a stop.
    // The scan holds the walked folder to the recorded inode and birth time,
    // never to what a resolution just found there; the device number is the
    // one the recorded filesystem has now, as a disk known by its UUID may
    // come back on another device node.
    const FolderBookmark relocated = probe->bookmark->relocated(folder);
    const AccessedFolder accessed{folder.path, relocated.identity().value_or(folder.identity), folder.mount,
                                  folder.byPlace && !chosenByUser_.contains(id)};
    // Its place held none of its files at the last look: it stays offline,
    // and only a scan that finds them there again takes it back.
    if (strange != strangeFolders_.end()) {
        if (accessed.knownByPlace) {
            release();
            *strange = accessed;
            return markOffline(true);
        }
        strangeFolders_.erase(strange);
    }
    activeAccess_.insert(id, accessed);
    source.lastKnownPath = folder.path;
    source.isOnline = true;
    updateVolume(source, probe->volume);
    if (folder.stale) {
        // The record follows its folder to where it was found; what the
        // folder is stays as recorded.
        source.bookmark = relocated.encode();
    }
    return false;
}

// A disk that hung comes back by itself, with no mount event to tell: the
// late answers of its probes start one pass that looks again. Awaited as
// work, so that drain() covers the pass to come.
void LibraryStore::gatherLateAnswers()
{
    if (!lateAnswers_.isActive()) {
        detail::workQueued();
        lateAnswers_.start(lateAnswerGathering);
    }
}

// Only mounts that concern a source look at the sources again: a machine
// mounts and unmounts all day (containers, snaps, sessions). The access pass
// looks at every source, which costs a few calls each; the walk, which on a
// share goes over the network for every file, is only for the sources whose
// disk came, went or changed, and for those the pass brings online.
void LibraryStore::followMounts(const QList<MountEntry>& mounted, const QList<MountEntry>& unmounted)
{
    const auto concerns = [this](const MountEntry& mount) { return concernsSources(mount); };
    const auto mayBringBack = [this](const MountEntry& mount) { return mayBringBackSource(mount); };
    if (std::any_of(mounted.cbegin(), mounted.cend(), concerns)
        || std::any_of(mounted.cbegin(), mounted.cend(), mayBringBack)
        || std::any_of(unmounted.cbegin(), unmounted.cend(), concerns)) {
        QSet<QUuid> under;
        for (const QList<MountEntry>* changed : {&mounted, &unmounted}) {
            for (const MountEntry& mount : *changed) {
                under.unite(sourcesUnder(mount));
            }
        }
        startRescan(under);
    }
}

// A disk may be an offline source's come back at another mount point; any
// other mount matters where a folder source's folder or disk lies at or
// below it, whether it comes (the folder is back, or hidden) or goes.
bool LibraryStore::concernsSources(const MountEntry& mount) const
{
    return isRealVolume(mount) || !sourcesUnder(mount).isEmpty();
}

QSet<QUuid> LibraryStore::sourcesUnder(const MountEntry& mount) const
{
    QSet<QUuid> under;
    for (const LibrarySource& source : sources_) {
        if (source.kind == LibrarySource::Kind::folder
            && (liesUnder(source.lastKnownPath, mount.mountPoint)
                || (source.volumePath && liesUnder(*source.volumePath, mount.mountPoint)))) {
            under.insert(source.id);
        }
    }
    return under;
}

// While a folder source is offline, a disk image or share mounted anywhere
// may be its own come back at a mount point of its own. Read-only images
// (snaps) and overlays (containers) come and go all day and hold no one's
// photos.
bool LibraryStore::mayBringBackSource(const MountEntry& mount) const
{
    const bool mayHoldPhotos = namesItsShare(mount) || mount.fsType.startsWith(QLatin1String("fuse"))
                               || (mount.source.startsWith(QLatin1String("/dev/"))
                                   && mount.fsType != QLatin1String("squashfs"));
    return mayHoldPhotos && std::any_of(sources_.cbegin(), sources_.cend(), [](const LibrarySource& source) {
               return source.kind == LibrarySource::Kind::folder && !source.isOnline;
           });
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
// and awaited folders keeps its watcher. A first pass with neither makes none
// at all.
void LibraryStore::rebuildWatcher(QStringList awaited)
{
    QStringList paths;
    for (const AccessedFolder& folder : std::as_const(activeAccess_)) {
        paths.append(folder.path);
    }
    std::sort(paths.begin(), paths.end());
    std::sort(awaited.begin(), awaited.end());
    if (paths == watchedPaths_ && awaited == awaitedPaths_) {
        return;
    }
    if (watcher_) {
        watcher_->stop();
    }
    watchedPaths_ = paths;
    awaitedPaths_ = awaited;
    // Posted with the store as context: a change never rescans inside the
    // watcher's own call, nor for a store that is gone.
    watcher_ = std::make_unique<SourceWatcher>(
        paths, awaited, [this] { QMetaObject::invokeMethod(this, &LibraryStore::rescan, Qt::QueuedConnection); },
        services_.watchTiming);
    watchedInPart({});
    if (watcher_->isWatching()) {
        connect(watcher_->stream(), &FolderWatcher::partlyWatched, this, &LibraryStore::watchedInPart);
    }
}

// Changes in folders the system's limit leaves unwatched are not seen: the
// user is told, and such sources are rescanned now and then, unless a scan
// runs already.
void LibraryStore::watchedInPart(const QStringList& roots)
{
    QSet<QUuid> ids;
    QStringList names;
    for (const LibrarySource& source : std::as_const(sources_)) {
        const auto folder = activeAccess_.constFind(source.id);
        if (folder != activeAccess_.cend() && roots.contains(folder->path)) {
            ids.insert(source.id);
            names.append(source.name);
        }
    }
    if (ids == partlyWatchedSourceIDs_) {
        return;
    }
    assign(partlyWatchedSourceIDs_, std::move(ids), &LibraryStore::partlyWatchedSourceIDsChanged);
    if (partlyWatchedSourceIDs_.isEmpty()) {
        partlyWatchedRescan_.stop();
        processes_.setNotice(std::nullopt);
        return;
    }
    processes_.setNotice(
        QStringLiteral("Your system limits how many folders Pivra can watch, so changes in some folders of %1 show "
                       "only at the next rescan. Pivra rescans them every few minutes.")
            .arg(sourceSummary(names)));
    if (!partlyWatchedRescan_.isActive()) {
        partlyWatchedRescan_.start(services_.partlyWatchedRescan);
    }
}

// A volume that cannot be looked at leaves the recorded facts as they were.
void LibraryStore::updateVolume(LibrarySource& source, const std::optional<VolumeFacts>& volume)
{
    if (!volume) {
        return;
    }
    source.volumePath = volume->rootPath;
    source.volumeName = volume->name;
    source.volumeCapacity = volume->capacity;
}

// One question at a time: none while an answer is still being carried out
// (its folder dialog runs the event loop, and a rescan meanwhile still finds
// the source offline and would ask about it again).
void LibraryStore::showNextPermissionRequest()
{
    if (permissionRequestSourceID_ || answeredPermissionID_) {
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
    answeredPermissionID_ = id;
    startTask(this, answerPermissionRequest(id, reconnect));
}

Task<> LibraryStore::answerPermissionRequest(QUuid id, bool reconnect)
{
    if (reconnect) {
        co_await this->reconnect(id);
    }
    answeredPermissionID_.reset();
    // Asked once: a source still offline after the answer is not asked again
    // this run, so the question never loops. One that is back is settled:
    // the queue it was asked from is older than the answer, and the pass
    // the answer started rebuilds it.
    const qsizetype index = indexOfSource(id);
    if (index < 0 || !sources_[index].isOnline) {
        dismissedPermissionIDs_.insert(id);
    }
    permissionNeededIDs_.removeAll(id);
    showNextPermissionRequest();
}

} // namespace pivra
