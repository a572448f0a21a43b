#include "store/sources/StrayLinks.h"

#include "platform/folders/LinkDestination.h"
#include "platform/folders/MountMonitor.h"
#include "platform/folders/MountTable.h"

#include <QDir>

namespace pivra {
namespace {

// Where the folder at `relativePath` of the filesystem `filesystem` is in
// view now: below the recorded volume's mount point where that is a mount
// of it, else below the first of its mounts in view. Only the table is read.
std::optional<QString> placeOn(std::uint64_t filesystem, const QString& relativePath,
                               const std::optional<QString>& volumePath)
{
    const QList<MountEntry> table =
        readMountTable(QString::fromLatin1(MountMonitor::processMountTable)).value_or(QList<MountEntry>{});
    std::optional<MountEntry> chosen;
    for (const MountEntry& mount : table) {
        const std::optional<MountEntry> inView = mountHolding(table, mount.mountPoint);
        if (mount.device == filesystem && inView && inView->mountId == mount.mountId
            && (!chosen || mount.mountPoint == volumePath)) {
            chosen = mount;
        }
    }
    if (!chosen) {
        return std::nullopt;
    }
    return QDir::cleanPath(chosen->mountPoint + QLatin1Char('/') + relativePath);
}

} // namespace

std::optional<LibrarySource> atRecordedPlace(const LibrarySource& source, const FolderBookmark& bookmark)
{
    const std::optional<FolderIdentity> identity = bookmark.identity();
    const QString path = cleanFolderPath(source.lastKnownPath);
    if (!identity || !bookmark.device() || !bookmark.filesystem()
        || (!linkLeadsOff(path, *bookmark.device())
            && (bookmark.path() == path || !linkLeadsOff(bookmark.path(), *bookmark.device())))) {
        return std::nullopt;
    }
    const std::optional<QString> place = placeOn(*bookmark.device(), *bookmark.relativePath(), source.volumePath);
    if (!place) {
        return std::nullopt;
    }
    ResolvedFolder recorded;
    recorded.path = *place;
    recorded.filesystem = *bookmark.filesystem();
    recorded.relativePath = *bookmark.relativePath();
    recorded.identity = *identity;
    LibrarySource moved = source;
    moved.lastKnownPath = *place;
    moved.bookmark = bookmark.relocated(recorded).encode();
    return moved;
}

} // namespace pivra
