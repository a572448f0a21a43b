#include "platform/updates/VersionFolders.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/UpdateLeftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra {

namespace {

// The marker of the version folder `folder`, opened and locked as
// `operation` (LOCK_SH or LOCK_EX) asks without waiting; -1 when it is
// missing, no plain file, held, or the filesystem takes no locks.
int lockMarker(const QString& folder, int operation)
{
    const QByteArray marker = QFile::encodeName(folder + u'/' + installMarkerName);
    constexpr int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    // A network filesystem grants an exclusive lock only on a file open for
    // writing; nothing is written.
    int fd = operation == LOCK_EX ? ::open(marker.constData(), O_RDWR | flags) : -1;
    if (fd < 0) {
        fd = ::open(marker.constData(), O_RDONLY | flags);
    }
    struct stat status {};
    int locked = -1;
    if (fd >= 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        while ((locked = ::flock(fd, operation | LOCK_NB)) != 0 && errno == EINTR) {
        }
    }
    if (locked != 0 && fd >= 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

void holdRunningVersion()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    // Never closed: the lock goes with the process.
    lockMarker(QDir::cleanPath(QFileInfo(program).path() + QStringLiteral("/..")), LOCK_SH);
}

VersionsFolder::VersionsFolder(const QString& root)
    : fd_(::open(QFile::encodeName(root + u'/' + versionsFolderName).constData(),
                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
{
}

VersionsFolder::~VersionsFolder()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

QString VersionsFolder::pathOf(const QString& name) const
{
    // The folder's entry in /proc leads to the folder opened, not to what
    // its path names now.
    return QStringLiteral("/proc/self/fd/%1/%2").arg(fd_).arg(name);
}

QStringList VersionsFolder::folderNames() const
{
    if (!isOpen()) {
        return {};
    }
    return QDir(pathOf({})).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
}

bool VersionsFolder::removeUnheld(const QString& name) const
{
    if (!isOpen() || name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..") {
        return false;
    }
    const QString folder = pathOf(name);
    // An install holds the folder itself from before it is renamed in until
    // the entry names it; a link in the folder's place is not taken.
    const std::optional<FolderLock> installing = FolderLock::tryTake(folder);
    if (!installing) {
        return false;
    }
    const int marker = lockMarker(folder, LOCK_EX);
    if (marker < 0) {
        // Only an empty folder goes without its marker locked.
        return ::rmdir(QFile::encodeName(folder).constData()) == 0;
    }
    removeOwnEntries(folder, [](const QString& entry, const struct stat&) { return entry != installMarkerName; });
    // Let go of before the marker goes: a FUSE filesystem keeps a file
    // removed while open under another name, and the folder with it. No
    // copy can start from what is left.
    ::close(marker);
    // What another user owns stays, and with it the marker that tells a
    // later sweep the folder is a version.
    const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return left == QStringList{installMarkerName} && removeFolderTree(folder);
}

} // namespace pivra
