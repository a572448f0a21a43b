#include "platform/updates/InstallSwap.h"

#include "platform/folders/FileNameText.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/UpdateLeftovers.h"
#include "platform/updates/VersionFolders.h"

#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pivra {

void awaitProcessExit(pid_t pid)
{
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        return; // no such process: it has already ended
    }
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

namespace {

std::optional<QString> failure(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool exists(const QString& path)
{
    struct stat status {};
    return ::lstat(fileNameBytes(path).constData(), &status) == 0;
}

// The version's folder name: the version as the feed gave it where that is a
// plain name, and apart from any folder a killed install left.
QString freeVersionName(const QString& versions, const QString& version)
{
    const bool plain = !version.isEmpty() && version != u"." && version != u".."
                       && std::all_of(version.begin(), version.end(), [](QChar c) {
                              return c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_' || c == u'+';
                          });
    const QString base = plain ? version : QStringLiteral("update");
    QString name = base;
    for (int next = 2; exists(versions + u'/' + name); ++next) {
        name = base + u'-' + QString::number(next);
    }
    return name;
}

// The files of the version in use before `root`'s entry was switched,
// unless another copy still runs from them: the next start after it ends
// removes them. In an install from before versions were kept apart that is
// everything around the entry.
void removeReplaced(const QString& root, const InstallEntry& replaced)
{
    if (replaced.kind == InstallEntry::Kind::version) {
        VersionsFolder(root).removeUnheld(replaced.version);
    } else if (replaced.kind == InstallEntry::Kind::program) {
        removeOutsideVersions(root);
    }
}

} // namespace

std::optional<QString> installVersion(const QString& staged, const QString& root, const QString& version)
{
    const QString versions = root + u'/' + versionsFolderName;
    if (::mkdir(fileNameBytes(versions).constData(), 0755) != 0 && errno != EEXIST) {
        return failure(errno);
    }
    // Versions go into the install folder itself, never where a link leads.
    if (!VersionsFolder(root).isOpen()) {
        return QStringLiteral("%1 is not a folder of its own").arg(versions);
    }
    // Held from here on, so a program started meanwhile does not sweep the
    // new version away as a leftover before the entry names it.
    const std::optional<FolderLock> held = FolderLock::tryTake(staged);
    if (!held) {
        return failure(errno);
    }
    const InstallEntry replaced = installEntryOf(root);
    const QString name = freeVersionName(versions, version);
    const QString tree = versions + u'/' + name;
    if (::rename(fileNameBytes(staged).constData(), fileNameBytes(tree).constData()) != 0) {
        return failure(errno);
    }
    const QByteArray entry = fileNameBytes(QString(root + u'/' + installEntry));
    const QByteArray next = fileNameBytes(
        QString(QFileInfo(root + u'/' + installEntry).path() + u'/' + nextEntryPrefix + QString::number(::getpid())));
    if (::symlink(fileNameBytes(entryLinkTo(name)).constData(), next.constData()) != 0
        || ::rename(next.constData(), entry.constData()) != 0) {
        const int error = errno;
        ::unlink(next.constData());
        ::rename(fileNameBytes(tree).constData(), fileNameBytes(staged).constData());
        return failure(error);
    }
    removeReplaced(root, replaced);
    return std::nullopt;
}

bool launchDetached(const QString& program, const QStringList& arguments)
{
    // Qt starts a detached program in a new session of its own.
    return QProcess::startDetached(program, arguments, QFileInfo(program).path());
}

} // namespace pivra
