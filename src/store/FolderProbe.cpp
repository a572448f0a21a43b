#include "store/FolderProbe.h"

#include "platform/folders/FileNameText.h"
#include "platform/folders/FolderAccess.h"
#include "store/sources/StrayLinks.h"

namespace pivra {

namespace {

// An offline source is worth asking about only while its disk is there: the
// folder was moved or is refused, not unplugged. A disk's mount folder often
// stays when the disk goes, so the disk counts as there only while mounted.
bool diskIsThere(const LibrarySource& source)
{
    if (source.volumePath) {
        return isMountPoint(*source.volumePath);
    }
    return pathExists(source.lastKnownPath);
}

FolderProbe probeAt(const LibrarySource& source)
{
    FolderProbe probe;
    probe.diskIsThere = diskIsThere(source);
    probe.lastPathIsThere = pathExists(source.lastKnownPath);
    probe.bookmark = FolderBookmark::decode(source.bookmark);
    probe.folder = probe.bookmark ? probe.bookmark->resolve() : std::nullopt;
    if (!probe.folder) {
        return probe;
    }
    // A disk may come back at another mount point: what must not change is
    // the filesystem the folder lies on.
    probe.onRecordedVolume = probe.bookmark->filesystem() == probe.folder->filesystem;
    probe.exists = pathExists(probe.folder->path);
    probe.readable = probe.exists && canReadFolder(probe.folder->path);
    probe.volume = volumeFacts(probe.folder->path);
    return probe;
}

} // namespace

FolderProbe probeFolder(const LibrarySource& source)
{
    const std::optional<FolderBookmark> bookmark = FolderBookmark::decode(source.bookmark);
    const std::optional<LibrarySource> moved = bookmark ? atRecordedPlace(source, *bookmark) : std::nullopt;
    FolderProbe probe = probeAt(moved.value_or(source));
    if (moved) {
        // The source keeps its own record, which the folder found makes stale.
        probe.bookmark = bookmark;
        if (probe.folder) {
            probe.folder->stale = bookmark->relocated(*probe.folder) != *bookmark;
        }
    }
    return probe;
}

ChosenFolder inspectChosenFolder(const QString& path)
{
    ChosenFolder chosen;
    chosen.bookmark = FolderBookmark::make(path);
    if (chosen.bookmark) {
        chosen.readable = canReadFolder(path);
        chosen.volume = volumeFacts(path);
        chosen.mount = mountIdOf(path);
    }
    return chosen;
}

} // namespace pivra
