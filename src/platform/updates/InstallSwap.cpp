#include "platform/updates/InstallSwap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    const QString aside = target + QStringLiteral(".replaced-") + QString::number(::getpid());
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray asideName = QFile::encodeName(aside);
    if (::rename(targetName.constData(), asideName.constData()) != 0) {
        return QStringLiteral("cannot move %1 aside: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (::rename(QFile::encodeName(staged).constData(), targetName.constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        ::rename(asideName.constData(), targetName.constData());
        return QStringLiteral("cannot move the update into %1: %2").arg(target, reason);
    }
    QDir(aside).removeRecursively();
    return {};
}

bool launchDetached(const QString& program, const QStringList& arguments)
{
    // Qt starts a detached program in a new session of its own.
    return QProcess::startDetached(program, arguments, QFileInfo(program).path());
}

} // namespace pivra
