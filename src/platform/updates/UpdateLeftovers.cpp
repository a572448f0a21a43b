#include "platform/updates/UpdateLeftovers.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/AppcastItem.h"

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

const QString asideInfix = QStringLiteral(".replaced-");

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

QString asidePath(const QString& installRoot)
{
    return installRoot + asideInfix + QString::number(::getpid());
}

std::optional<KeptUpdate> recoverInstall(const QString& installRoot, const QString& installedVersion)
{
    const QFileInfo root(installRoot);
    const QDir parent = root.dir();
    QFileInfoList aside = parent.entryInfoList({root.fileName() + asideInfix + u'*'},
                                               QDir::Dirs | QDir::Hidden | QDir::NoSymLinks, QDir::Time);
    if (!root.exists() && !aside.isEmpty()) {
        // The newest tree moved aside is the one the interrupted swap took.
        const QString back = aside.takeFirst().filePath();
        ::rename(QFile::encodeName(back).constData(), QFile::encodeName(installRoot).constData());
    }
    if (!QFileInfo::exists(installRoot)) {
        return std::nullopt; // nothing to compare leftovers with: keep them
    }
    for (const QFileInfo& old : aside) {
        removeFolderTree(old.filePath());
    }
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
        // An update that could not replace the install folder as it still
        // is stays, while it is newer than what runs: the newest one only.
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
