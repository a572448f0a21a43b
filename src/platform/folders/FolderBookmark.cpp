#include "platform/folders/FolderBookmark.h"

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

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
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

QString absoluteClean(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Where a path really lies, links resolved; a path that does not exist stays
// as it is.
QString realLocation(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
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

    // A block device is named by its UUID where udev lists one, so the disk
    // keeps its name on another port or mount point; anything else by its
    // type and source. A bind mount of a folder adds that folder, so it is
    // not taken for the filesystem's top.
    QString nameOf(const MountEntry& entry)
    {
        QString name = entry.fsType + QLatin1Char(':') + entry.source;
        if (entry.source.startsWith(QLatin1String("/dev/"))) {
            const QString uuid = uuids().value(realLocation(entry.source));
            if (!uuid.isEmpty()) {
                name = uuid;
            }
        }
        if (entry.root != QLatin1String("/")) {
            name += entry.root;
        }
        return name;
    }

    std::optional<QString> nameOfPath(const QString& path)
    {
        const std::optional<MountEntry> mount = holding(path);
        return mount ? std::optional<QString>(nameOf(*mount)) : std::nullopt;
    }

private:
    // Device node → UUID, read once per call and only when a block device asks.
    const QHash<QString, QString>& uuids()
    {
        if (!uuids_) {
            uuids_.emplace();
            const QDir folder(QStringLiteral("/dev/disk/by-uuid"));
            const QStringList names = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
            for (const QString& name : names) {
                const QString device = QFileInfo(folder.filePath(name)).canonicalFilePath();
                if (!device.isEmpty()) {
                    uuids_->insert(device, name);
                }
            }
        }
        return *uuids_;
    }

    QList<MountEntry> table_;
    std::optional<QHash<QString, QString>> uuids_;
};

// When the folder was made, in nanoseconds, where the filesystem tells: an
// inode number is given to a new folder soon after the old one is deleted, a
// birth time is not.
std::optional<std::uint64_t> birthOf(int folder, const char* name)
{
    struct statx values {};
    if (statx(folder, name, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &values) != 0 || (values.stx_mask & STATX_BTIME) == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(values.stx_btime.tv_sec) * 1'000'000'000U + values.stx_btime.tv_nsec;
}

std::optional<std::uint64_t> birthOf(const QString& path)
{
    return birthOf(AT_FDCWD, QFile::encodeName(path).constData());
}

// The recorded folder: the same inode, and the same birth where both are known.
bool sameFolder(std::uint64_t inode, std::optional<std::uint64_t> birth, std::uint64_t foundInode,
                const std::function<std::optional<std::uint64_t>()>& foundBirth)
{
    if (foundInode != inode) {
        return false;
    }
    if (!birth) {
        return true;
    }
    const std::optional<std::uint64_t> found = foundBirth();
    return !found || *found == *birth;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Breadth first below `start`, without following links, entering other
// mounts, Pivra's own ".pivra" folders or `skip` (searched already).
std::optional<QString> searchBelow(const QString& start, const QString& skip, std::uint64_t inode,
                                   std::optional<std::uint64_t> birth, dev_t device, int& budget)
{
    std::deque<std::pair<QString, int>> queue{{start, 0}};
    while (!queue.empty() && budget > 0) {
        const auto [folder, level] = queue.front();
        queue.pop_front();
        const std::unique_ptr<DIR, DirCloser> dir(opendir(QFile::encodeName(folder).constData()));
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
            struct stat values {};
            if (fstatat(dirfd(dir.get()), name, &values, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(values.st_mode)
                || values.st_dev != device) {
                continue;
            }
            const QString child = joinPath(folder, QFile::decodeName(name));
            if (sameFolder(inode, birth, values.st_ino, [&] { return birthOf(dirfd(dir.get()), name); })) {
                return child;
            }
            if (level + 1 < searchDepth && child != skip) {
                queue.emplace_back(child, level + 1);
            }
        }
    }
    return std::nullopt;
}

// The folder with `inode` on the mount at `mountPoint`, looked for around
// `candidate`: below its nearest existing ancestor, then below each further
// ancestor up to the mount point.
std::optional<QString> searchAround(const QString& candidate, const QString& mountPoint, std::uint64_t inode,
                                    std::optional<std::uint64_t> birth, int& budget)
{
    struct stat top {};
    if (candidate == mountPoint || lstat(QFile::encodeName(mountPoint).constData(), &top) != 0) {
        return std::nullopt;
    }
    QString searched;
    for (QString folder = parentOf(candidate); budget > 0; folder = parentOf(folder)) {
        struct stat values {};
        if (lstat(QFile::encodeName(folder).constData(), &values) == 0 && S_ISDIR(values.st_mode)
            && values.st_dev == top.st_dev) {
            if (std::optional<QString> found = searchBelow(folder, searched, inode, birth, top.st_dev, budget)) {
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

std::optional<FolderBookmark> FolderBookmark::make(const QString& path)
{
    FolderBookmark bookmark;
    bookmark.path_ = absoluteClean(path);
    const std::optional<FolderIdentity> identity = folderIdentity(bookmark.path_);
    if (!identity) {
        return std::nullopt;
    }
    bookmark.device_ = identity->device;
    bookmark.inode_ = identity->inode;
    bookmark.birth_ = birthOf(bookmark.path_);
    MountView mounts;
    const QString location = realLocation(bookmark.path_);
    if (const std::optional<MountEntry> mount = mounts.holding(location)) {
        bookmark.filesystem_ = mounts.nameOf(*mount);
        bookmark.relativePath_ = location == mount->mountPoint || mount->mountPoint == QLatin1String("/")
                                     ? location.mid(mount->mountPoint.size())
                                     : location.mid(mount->mountPoint.size() + 1);
    }
    return bookmark;
}

FolderBookmark FolderBookmark::ofPath(const QString& path)
{
    FolderBookmark bookmark;
    bookmark.path_ = absoluteClean(path);
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
    // The shapes make() and ofPath() write: the filesystem comes with the
    // place on it and with the folder's identity.
    if (bookmark.filesystem_.has_value() != bookmark.relativePath_.has_value()
        || bookmark.device_.has_value() != bookmark.inode_.has_value()
        || (bookmark.filesystem_ && !bookmark.inode_) || (bookmark.birth_ && !bookmark.inode_)) {
        return std::nullopt;
    }
    bookmark.path_ = *path;
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

std::optional<ResolvedFolder> FolderBookmark::resolve() const
{
    MountView mounts;
    const auto found = [&mounts](const QString& path, bool stale, FolderIdentity identity) {
        return std::optional<ResolvedFolder>(ResolvedFolder{path, stale, identity, mounts.nameOfPath(path)});
    };
    if (!filesystem_) {
        const std::optional<FolderIdentity> identity = folderIdentity(path_);
        if (!identity) {
            return std::nullopt;
        }
        const bool stale = inode_
                           && (*device_ != identity->device
                               || !sameFolder(*inode_, birth_, identity->inode, [this] { return birthOf(path_); }));
        return found(path_, stale, *identity);
    }

    // The places the folder would be on each mount of its filesystem in view,
    // the recorded path first: it differs from the others when it goes
    // through a link.
    struct Candidate {
        QString path;
        MountEntry mount;
    };
    QList<Candidate> candidates;
    for (const MountEntry& mount : mounts.table()) {
        const std::optional<MountEntry> inView = mounts.holding(mount.mountPoint);
        if (inView && inView->mountId == mount.mountId && mounts.nameOf(mount) == *filesystem_) {
            const QString path = joinPath(mount.mountPoint, *relativePath_);
            if (path == path_) {
                candidates.prepend({path, mount});
            } else {
                candidates.append({path, mount});
            }
        }
    }
    if (candidates.isEmpty()) {
        return std::nullopt;
    }
    if (const std::optional<MountEntry> mount = mounts.holding(path_);
        mount && candidates.front().path != path_ && mounts.nameOf(*mount) == *filesystem_) {
        candidates.prepend({path_, *mount});
    }

    // A folder counts only on its own mount, not through a link to another.
    const auto folderOn = [&mounts](const Candidate& candidate) -> std::optional<FolderIdentity> {
        const std::optional<MountEntry> mount = mounts.holding(candidate.path);
        return mount && mount->mountId == candidate.mount.mountId ? folderIdentity(candidate.path) : std::nullopt;
    };
    for (const Candidate& candidate : candidates) {
        if (const std::optional<FolderIdentity> identity = folderOn(candidate);
            identity && sameFolder(*inode_, birth_, identity->inode, [&] { return birthOf(candidate.path); })) {
            return found(candidate.path, candidate.path != path_, *identity);
        }
    }
    int budget = searchBudget;
    for (const Candidate& candidate : candidates) {
        if (const std::optional<QString> moved = searchAround(candidate.path, candidate.mount.mountPoint, *inode_, birth_, budget)) {
            if (const std::optional<FolderIdentity> identity = folderIdentity(*moved)) {
                return found(*moved, true, *identity);
            }
        }
    }
    // Another folder where this one was: the disk was formatted again or the
    // folder made anew.
    for (const Candidate& candidate : candidates) {
        if (const std::optional<FolderIdentity> identity = folderOn(candidate)) {
            return found(candidate.path, true, *identity);
        }
    }
    return std::nullopt;
}

std::optional<QString> filesystemOf(const QString& path)
{
    return MountView().nameOfPath(absoluteClean(path));
}

bool isMountPoint(const QString& path)
{
    const QString clean = absoluteClean(path);
    const QList<MountEntry> table = MountView().table();
    return std::any_of(table.begin(), table.end(),
                       [&clean](const MountEntry& entry) { return entry.mountPoint == clean; });
}

} // namespace pivra
