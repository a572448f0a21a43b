#include "platform/updates/InstallSwap.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/updates/UpdateLeftovers.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
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

std::optional<QString> renameFailure(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int renamed(const QString& from, const QString& to, unsigned flags = 0)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                       flags);
}

// Where names cannot be exchanged, the old tree steps aside and the new one
// takes its place. A kill between the two leaves no tree at `target`; the
// next start of the program or of the helper moves the old one back.
std::optional<QString> swapByRenames(const QString& staged, const QString& target)
{
    const QString aside = asidePath(target);
    if (renamed(target, aside) != 0) {
        return renameFailure(errno);
    }
    if (renamed(staged, target) != 0) {
        const int error = errno;
        renamed(aside, target);
        return renameFailure(error);
    }
    // The old tree goes with the staging folder, as after an exchange.
    if (renamed(aside, staged) != 0) {
        removeFolderTree(aside);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> swapInstall(const QString& staged, const QString& target)
{
    // One exchange: at every moment one whole tree sits at `target`, so a
    // kill at any point leaves a program to start. The old tree ends up
    // where the staged one was and goes with the staging folder.
    if (renamed(staged, target, RENAME_EXCHANGE) == 0) {
        return std::nullopt;
    }
    // FUSE, NFS and CIFS, common under home folders, exchange no names.
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
        return swapByRenames(staged, target);
    }
    return renameFailure(errno);
}

bool launchDetached(const QString& program, const QStringList& arguments)
{
    // Qt starts a detached program in a new session of its own.
    return QProcess::startDetached(program, arguments, QFileInfo(program).path());
}

} // namespace pivra
