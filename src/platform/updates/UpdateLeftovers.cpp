#include "platform/updates/UpdateLeftovers.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/AppcastItem.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/VersionFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace pivra {

namespace {

// Version folders no entry starts, no program runs from and no install
// holds (the new version is held from before it is renamed in until the
// entry names it).
void removeUnusedVersions(const QString& root, const QString& inUse)
{
    const VersionsFolder versions(root);
    for (const QString& name : versions.folderNames()) {
        if (name != inUse) {
            versions.removeUnheld(name);
        }
    }
}

// Next links a killed install left beside the entry.
void removeNextLinks(const QString& root)
{
    removeOwnEntries(QFileInfo(root + u'/' + installEntry).path(),
                     [](const QString& name, const struct stat&) { return name.startsWith(nextEntryPrefix); });
}

} // namespace

std::optional<FolderLock> FolderLock::open(const QString& folder, bool wait)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    int locked = 0;
    while ((locked = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB))) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        ::close(fd);
        return std::nullopt;
    }
    return FolderLock(fd);
}

std::optional<FolderLock> FolderLock::tryTake(const QString& folder)
{
    return open(folder, false);
}

std::optional<FolderLock> FolderLock::take(const QString& folder)
{
    return open(folder, true);
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void removeOutsideVersions(const QString& root)
{
    const QString entryName = QFileInfo(installEntry).fileName();
    const QString entryFolder = QFileInfo(installEntry).path();
    removeOwnEntries(root, [&entryFolder](const QString& name, const struct stat&) {
        return name != installMarkerName && name != entryFolder && name != versionsFolderName;
    });
    removeOwnEntries(root + u'/' + entryFolder,
                     [&entryName](const QString& name, const struct stat&) { return name != entryName; });
}

std::optional<KeptUpdate> recoverInstall(const QString& installRoot, const QString& installedVersion)
{
    if (!QFileInfo::exists(installRoot)) {
        return std::nullopt; // nothing to compare leftovers with: keep them
    }
    const InstallEntry entry = installEntryOf(installRoot);
    if (entry.kind == InstallEntry::Kind::version) {
        removeUnusedVersions(installRoot, entry.version);
        removeOutsideVersions(installRoot);
    } else if (entry.kind == InstallEntry::Kind::program) {
        // The install's files are the program: only what a killed first
        // update added goes.
        removeUnusedVersions(installRoot, {});
        removeNextLinks(installRoot);
    }
    const QDir parent = QFileInfo(installRoot).dir();
    const QFileInfoList staged = parent.entryInfoList({stagingFolderPrefix + u'*'},
                                                      QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    std::optional<KeptUpdate> kept;
    QString keptFolder;
    for (const QFileInfo& staging : staged) {
        // A folder someone holds is being filled or installed right now.
        const std::optional<FolderLock> lock = FolderLock::tryTake(staging.filePath());
        if (!lock) {
            continue;
        }
        // An update that could not be installed into the install folder as
        // it still is stays, while it is newer than what runs: the newest one only.
        const std::optional<KeptUpdate> found = keptUpdate(staging.filePath(), installRoot);
        const bool newer = found && (installedVersion.isEmpty() || compareVersions(found->version, installedVersion) > 0);
        if (newer && (!kept || compareVersions(found->version, kept->version) > 0)) {
            if (!keptFolder.isEmpty()) {
                removeFolderTree(keptFolder);
            }
            kept = found;
            keptFolder = staging.filePath();
        } else {
            removeFolderTree(staging.filePath());
        }
    }
    return kept;
}

} // namespace pivra
