#include "platform/updates/InstallSwap.h"

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

QString swapInstall(const QString& staged, const QString& target)
{
    // One exchange: at every moment one whole tree sits at `target`, so a
    // kill at any point leaves a program to start. The old tree ends up
    // where the staged one was and goes with the staging folder.
    if (::renameat2(AT_FDCWD, QFile::encodeName(staged).constData(), AT_FDCWD,
                    QFile::encodeName(target).constData(), RENAME_EXCHANGE)
        != 0) {
        return QStringLiteral("cannot put the update in place of %1: %2")
            .arg(target, QString::fromLocal8Bit(std::strerror(errno)));
    }
    return {};
}

bool launchDetached(const QString& program, const QStringList& arguments)
{
    // Qt starts a detached program in a new session of its own.
    return QProcess::startDetached(program, arguments, QFileInfo(program).path());
}

} // namespace pivra
