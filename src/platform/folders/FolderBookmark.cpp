#include "platform/folders/FolderBookmark.h"

#include "platform/folders/FileNameText.h"
#include "platform/folders/FilesystemUuid.h"
#include "platform/folders/MountMonitor.h"
#include "platform/folders/MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QSet>

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

namespace pivra {
namespace {

constexpr int recordVersion = 1;
// How far the search for a moved folder looks below each folder it starts
// from, and how many folders it reads in all: a folder renamed or moved a few
// levels away is found, and a folder that is gone costs a bounded walk.
constexpr int searchDepth = 3;
constexpr int searchBudget = 2000;

// Where a path really lies, links resolved; a path that does not exist stays
// as it is.
QString realLocation(const QString& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(fileNameBytes(path).constData(), nullptr),
                                                           &std::free);
    return real ? fileNameText(real.get()) : path;
}

QString joinPath(const QString& folder, const QString& relative)
{
    return relative.isEmpty() ? folder : QDir::cleanPath(folder + QLatin1Char('/') + relative);
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// A filesystem's name, and what the name tells of it.
struct FilesystemName {
    QString text;
    // A UUID, or a share's name (namesItsShare), names the filesystem under
    // whichever device number it is mounted.
    bool isUuid = false;
    bool isShare = false;
    // Whether the inode numbers of its folders stay theirs from one mount to
    // the next: those on a disk do, a share's only as keepsInodeNumbers says.
    bool keepsInodes = true;
};

// Where a path lies: the filesystem and the path below its mount point.
struct Place {
    FilesystemName filesystem;
    QString relativePath;
};

// The mount table and the filesystems' names as one call sees them. Nothing
// outlives the call: disks come and go between calls.
class MountView {
public:
    MountView()
    {
        QFile file(QString::fromLatin1(MountMonitor::processMountTable));
        if (file.open(QIODevice::ReadOnly)) {
            table_ = parseMountTable(file.readAll());
        }
    }

    const QList<MountEntry>& table() const { return table_; }

    std::optional<MountEntry> holding(const QString& path) const
    {
        return mountHolding(table_, realLocation(path));
    }

    // A filesystem without a UUID has nothing that stays with it but its
    // type and source, which another tmpfs or the next disk on the same loop
    // device share: its mount point is added, so that only a filesystem
    // mounted at the same place can pass for it. A bind mount adds the folder
    // it shows, so that it is not taken for the filesystem's top. A mount
    // serving many shares adds the folder of the one that `relativePath` (a
    // path below its mount point) lies in, which names it.
    FilesystemName nameOf(const MountEntry& entry, const QString& relativePath)
    {
        const QString bound = entry.root == QLatin1String("/") ? QString() : entry.root;
        if (const std::optional<QString> uuid = uuidOf(entry)) {
            return {*uuid + bound, true};
        }
        QString mountPoint = entry.mountPoint;
        bool isShare = namesItsShare(entry);
        if (sharesByFolder(entry)) {
            const QString share = relativePath.section(QLatin1Char('/'), 0, 0);
            mountPoint = joinPath(mountPoint, share);
            isShare = !share.isEmpty();
        }
        return {entry.fsType + QLatin1Char(':') + entry.source + bound + QLatin1String(" on ") + mountPoint, false,
                isShare, !isShare || keepsInodeNumbers(entry)};
    }

    std::optional<Place> placeOf(const QString& path)
    {
        const QString location = realLocation(path);
        const std::optional<MountEntry> mount = mountHolding(table_, location);
        if (!mount) {
            return std::nullopt;
        }
        const qsizetype prefix = location == mount->mountPoint || mount->mountPoint == QLatin1String("/")
                                     ? mount->mountPoint.size()
                                     : mount->mountPoint.size() + 1;
        const QString relativePath = location.mid(prefix);
        return Place{nameOf(*mount, relativePath), relativePath};
    }

private:
    // udev's link where there is one (it needs no right to read the disk),
    // else the superblock; each device asked once per call.
    std::optional<QString> uuidOf(const MountEntry& entry)
    {
        if (!entry.source.startsWith(QLatin1String("/dev/"))) {
            return std::nullopt;
        }
        const QString device = realLocation(entry.source);
        if (const QString linked = uuidLinks().value(device); !linked.isEmpty()) {
            return linked;
        }
        auto probed = probed_.constFind(device);
        if (probed == probed_.cend()) {
            probed = probed_.insert(device, filesystemUuid(device));
        }
        return *probed;
    }

    // Device node → UUID, read once per call and only when a block device asks.
    const QHash<QString, QString>& uuidLinks()
    {
        if (!uuidLinks_) {
            uuidLinks_.emplace();
            const QDir folder(QStringLiteral("/dev/disk/by-uuid"));
            const QStringList names = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
            for (const QString& name : names) {
                const QString device = QFileInfo(folder.filePath(name)).canonicalFilePath();
                if (!device.isEmpty()) {
                    uuidLinks_->insert(device, name);
                }
            }
        }
        return *uuidLinks_;
    }

    QList<MountEntry> table_;
    std::optional<QHash<QString, QString>> uuidLinks_;
    QHash<QString, std::optional<QString>> probed_;
};

// Whether `found`, on a mount of the recorded filesystem, is the `recorded`
// folder. The device number is checked only where the filesystem's name does
// not already tell the disk or share (neither a UUID nor a share's name) and
// the birth times do not vouch for the folder; the inode only where the
// filesystem keeps its numbers, as a share's folder given another number at
// its next mount is still its own.
bool isRecordedFolder(const FolderIdentity& recorded, const FolderIdentity& found, const FilesystemName& filesystem)
{
    FolderIdentity expected = recorded;
    if (filesystem.isUuid || filesystem.isShare || (recorded.birth && recorded.birth == found.birth)) {
        expected.device = found.device;
    }
    if (!filesystem.keepsInodes) {
        expected.inode = found.inode;
    }
    return isSameFolder(expected, found);
}

// Whether a birth time found equal to the recorded one tells the folder from
// any other: one to the nanosecond does, one of a whole second (what mkfs
// gives the folders it makes, and what two disks made in the same second
// share) does not.
bool birthVouches(const FolderIdentity& recorded, const FolderIdentity& found)
{
    constexpr std::uint64_t nanosecondsPerSecond = 1'000'000'000U;
    return recorded.birth && recorded.birth == found.birth && *found.birth % nanosecondsPerSecond != 0;
}

using FolderTest = std::function<bool(const FolderIdentity&)>;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Breadth first below `start`, without following links, entering other
// mounts, Pivra's own ".pivra" folders or `skip` (searched already). A mount
// point below is passed over by its path alone (`mountPoints`, the table's):
// a look at it would ask its filesystem, which may be a share whose server
// went away.
std::optional<QString> searchBelow(const QString& start, const QString& skip, const FolderTest& isRecorded,
                                   const QSet<QString>& mountPoints, std::uint64_t device, int& budget)
{
    std::deque<std::pair<QString, int>> queue{{start, 0}};
    while (!queue.empty() && budget > 0) {
        const auto [folder, level] = queue.front();
        queue.pop_front();
        const std::unique_ptr<DIR, DirCloser> dir(opendir(fileNameBytes(folder).constData()));
        if (!dir) {
            continue;
        }
        --budget;
        while (const dirent* entry = readdir(dir.get())) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || std::strcmp(name, ".pivra") == 0
                || (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)) {
                continue;
            }
            const QString child = joinPath(folder, fileNameText(name));
            if (mountPoints.contains(child)) {
                continue;
            }
            const std::optional<FolderIdentity> identity =
                folderIdentityAt(dirfd(dir.get()), name, AT_SYMLINK_NOFOLLOW);
            if (!identity || identity->device != device) {
                continue;
            }
            if (isRecorded(*identity)) {
                return child;
            }
            if (level + 1 < searchDepth && child != skip) {
                queue.emplace_back(child, level + 1);
            }
        }
    }
    return std::nullopt;
}

// The recorded folder on the mount at `mountPoint`, looked for around
// `candidate`: below its nearest existing ancestor, then below each further
// ancestor up to the mount point.
std::optional<QString> searchAround(const QString& candidate, const QString& mountPoint, const FolderTest& isRecorded,
                                    const QSet<QString>& mountPoints, int& budget)
{
    const std::optional<FolderIdentity> top = folderIdentityAt(AT_FDCWD, fileNameBytes(mountPoint).constData(),
                                                               AT_SYMLINK_NOFOLLOW);
    if (candidate == mountPoint || !top) {
        return std::nullopt;
    }
    QString searched;
    for (QString folder = parentOf(candidate); budget > 0; folder = parentOf(folder)) {
        const std::optional<FolderIdentity> identity = folderIdentityAt(AT_FDCWD, fileNameBytes(folder).constData(),
                                                                        AT_SYMLINK_NOFOLLOW);
        if (identity && identity->device == top->device) {
            if (std::optional<QString> found = searchBelow(folder, searched, isRecorded, mountPoints, top->device, budget)) {
                return found;
            }
            searched = folder;
        }
        if (folder == mountPoint || folder == QLatin1String("/")) {
            break;
        }
    }
    return std::nullopt;
}

// A key left out reads as none; a key of another type spoils the record.
bool readText(const QJsonObject& object, QLatin1StringView key, std::optional<QString>& value)
{
    const QJsonValue field = object.value(key);
    if (field.isUndefined()) {
        return true;
    }
    if (!field.isString()) {
        return false;
    }
    value = field.toString();
    return true;
}

// Device and inode numbers are written as decimal strings: as JSON numbers
// they would lose their low digits above 2^53 in many readers.
bool readNumber(const QJsonObject& object, QLatin1StringView key, std::optional<std::uint64_t>& value)
{
    std::optional<QString> text;
    if (!readText(object, key, text)) {
        return false;
    }
    if (!text) {
        return true;
    }
    bool isNumber = !text->isEmpty();
    for (const QChar c : *text) {
        isNumber = isNumber && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    }
    const qulonglong number = isNumber ? text->toULongLong(&isNumber) : 0;
    if (!isNumber) {
        return false;
    }
    value = number;
    return true;
}

const QLatin1StringView versionKey("version");
const QLatin1StringView pathKey("path");
const QLatin1StringView filesystemKey("filesystem");
const QLatin1StringView relativePathKey("relativePath");
const QLatin1StringView deviceKey("device");
const QLatin1StringView inodeKey("inode");
const QLatin1StringView birthKey("birth");

} // namespace

QString cleanFolderPath(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

std::optional<FolderBookmark> FolderBookmark::make(const QString& path)
{
    FolderBookmark bookmark;
    bookmark.path_ = cleanFolderPath(path);
    const std::optional<FolderIdentity> identity = folderIdentity(bookmark.path_);
    const std::optional<Place> place = identity ? MountView().placeOf(bookmark.path_) : std::nullopt;
    if (!place) {
        return std::nullopt;
    }
    bookmark.filesystem_ = place->filesystem.text;
    bookmark.relativePath_ = place->relativePath;
    bookmark.device_ = identity->device;
    bookmark.inode_ = identity->inode;
    bookmark.birth_ = identity->birth;
    return bookmark;
}

std::optional<FolderBookmark> FolderBookmark::decode(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(versionKey);
    if (!version.isDouble() || version.toDouble() != recordVersion) {
        return std::nullopt;
    }
    FolderBookmark bookmark;
    std::optional<QString> path;
    if (!readText(object, pathKey, path) || !path || path->isEmpty()
        || !readText(object, filesystemKey, bookmark.filesystem_)
        || !readText(object, relativePathKey, bookmark.relativePath_)
        || !readNumber(object, deviceKey, bookmark.device_) || !readNumber(object, inodeKey, bookmark.inode_)
        || !readNumber(object, birthKey, bookmark.birth_)) {
        return std::nullopt;
    }
    // The shapes make() writes, and the path alone of earlier versions: the
    // filesystem comes with the place on it and with the folder's identity.
    if (bookmark.filesystem_.has_value() != bookmark.relativePath_.has_value()
        || bookmark.device_.has_value() != bookmark.inode_.has_value()
        || (bookmark.filesystem_ && !bookmark.inode_) || (bookmark.birth_ && !bookmark.inode_)) {
        return std::nullopt;
    }
    bookmark.path_ = cleanFolderPath(*path);
    return bookmark;
}

QByteArray FolderBookmark::encode() const
{
    QJsonObject object{{versionKey, recordVersion}, {pathKey, path_}};
    if (filesystem_) {
        object.insert(filesystemKey, *filesystem_);
    }
    if (relativePath_) {
        object.insert(relativePathKey, *relativePath_);
    }
    if (device_) {
        object.insert(deviceKey, QString::number(*device_));
    }
    if (inode_) {
        object.insert(inodeKey, QString::number(*inode_));
    }
    if (birth_) {
        object.insert(birthKey, QString::number(*birth_));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<FolderIdentity> FolderBookmark::identity() const
{
    if (!inode_) {
        return std::nullopt;
    }
    return FolderIdentity{device_.value_or(0), *inode_, birth_};
}

std::optional<ResolvedFolder> FolderBookmark::resolve() const
{
    const std::optional<FolderIdentity> recorded = identity();
    if (!filesystem_ || !recorded) {
        return std::nullopt;
    }
    MountView mounts;

    // A place the folder would be on a mount of its filesystem.
    struct Candidate {
        QString path;
        MountEntry mount;
    };
    FilesystemName known;
    const auto isOfFilesystem = [&](const MountEntry& mount) {
        const FilesystemName name = mounts.nameOf(mount, *relativePath_);
        if (name.text != *filesystem_) {
            return false;
        }
        known = name;
        return true;
    };
    const FolderTest isRecorded = [&recorded, &known](const FolderIdentity& found) {
        return isRecordedFolder(*recorded, found, known);
    };
    const auto found = [&](const QString& path, const FolderIdentity& identity) -> std::optional<ResolvedFolder> {
        const std::optional<Place> place = mounts.placeOf(path);
        if (!place) {
            return std::nullopt;
        }
        ResolvedFolder folder{path,
                              false,
                              identity,
                              place->filesystem.text,
                              place->relativePath,
                              mountIdOf(path),
                              known.isUuid || known.isShare || birthVouches(*recorded, identity),
                              !known.keepsInodes};
        folder.stale = relocated(folder) != *this;
        return folder;
    };
    // A folder counts only on its own mount, not through a link to another.
    const auto foundAt = [&](const Candidate& candidate) -> std::optional<ResolvedFolder> {
        const std::optional<MountEntry> mount = mounts.holding(candidate.path);
        if (mount && mount->mountId == candidate.mount.mountId) {
            if (const std::optional<FolderIdentity> identity = folderIdentity(candidate.path);
                identity && isRecorded(*identity)) {
                return found(candidate.path, *identity);
            }
        }
        return std::nullopt;
    };

    // Where the folder almost always is: at its path, on the mount the table
    // names for that path by its text alone. Nothing else is touched on the
    // way, since any other mount may be a share whose server went away.
    if (const std::optional<MountEntry> named = mountHolding(mounts.table(), path_);
        named && isOfFilesystem(*named)) {
        if (std::optional<ResolvedFolder> folder = foundAt({path_, *named})) {
            return folder;
        }
    }

    // Elsewhere: at its place on each mount of its filesystem in view, the
    // recorded path first, which differs from the others when it goes
    // through a link. Mount points stand in the table as the kernel resolved
    // them, so which one is in view is read from the table too.
    QList<Candidate> candidates;
    for (const MountEntry& mount : mounts.table()) {
        const std::optional<MountEntry> inView = mountHolding(mounts.table(), mount.mountPoint);
        if (!inView || inView->mountId != mount.mountId || !isOfFilesystem(mount)) {
            continue;
        }
        const QString path = joinPath(mount.mountPoint, *relativePath_);
        if (path == path_) {
            candidates.prepend({path, mount});
        } else {
            candidates.append({path, mount});
        }
    }
    if (candidates.isEmpty()) {
        return std::nullopt;
    }
    if (const std::optional<MountEntry> mount = mounts.holding(path_);
        mount && candidates.front().path != path_ && mounts.nameOf(*mount, *relativePath_).text == *filesystem_) {
        candidates.prepend({path_, *mount});
    }
    for (const Candidate& candidate : candidates) {
        if (std::optional<ResolvedFolder> folder = foundAt(candidate)) {
            return folder;
        }
    }
    // Where the inode numbers do not last, any folder would pass for a moved
    // one: the folder is known only at its place.
    if (!known.keepsInodes) {
        return std::nullopt;
    }
    int budget = searchBudget;
    QSet<QString> mountPoints;
    for (const MountEntry& mount : mounts.table()) {
        mountPoints.insert(mount.mountPoint);
    }
    for (const Candidate& candidate : candidates) {
        const std::optional<QString> moved =
            searchAround(candidate.path, candidate.mount.mountPoint, isRecorded, mountPoints, budget);
        if (const std::optional<FolderIdentity> identity = moved ? folderIdentity(*moved) : std::nullopt;
            identity && isRecorded(*identity)) {
            return found(*moved, *identity);
        }
    }
    return std::nullopt;
}

FolderBookmark FolderBookmark::relocated(const ResolvedFolder& found) const
{
    FolderBookmark moved = *this;
    moved.path_ = found.path;
    moved.filesystem_ = found.filesystem;
    moved.relativePath_ = found.relativePath;
    moved.device_ = found.identity.device;
    if (found.byPlace) {
        moved.inode_ = found.identity.inode;
    }
    return moved;
}

std::optional<QString> filesystemOf(const QString& path)
{
    const std::optional<Place> place = MountView().placeOf(cleanFolderPath(path));
    return place ? std::optional<QString>(place->filesystem.text) : std::nullopt;
}

bool isMountPoint(const QString& path)
{
    const QString clean = cleanFolderPath(path);
    const QList<MountEntry> table = MountView().table();
    return std::any_of(table.begin(), table.end(),
                       [&clean](const MountEntry& entry) { return entry.mountPoint == clean; });
}

} // namespace pivra
