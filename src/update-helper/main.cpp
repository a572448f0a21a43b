// Installs a verified update once the program that downloaded it has quit:
//
//   pivra-update-helper PID STAGING TARGET [PROGRAM]
//
// waits for process PID to end, exchanges STAGING/root with TARGET in one
// step, removes STAGING (now holding the old version) and, when PROGRAM is
// given (a path inside TARGET), starts it again. Nothing here decides whether
// the update is good: the program verified and unpacked it before starting
// this helper. Killed at any point, it leaves a whole install at TARGET; the
// next start of the program or of this helper sweeps what it left.
#include "platform/folders/PrivateFolder.h"
#include "platform/updates/InstallSwap.h"
#include "platform/updates/UpdateLeftovers.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: pivra-update-helper PID STAGING TARGET [PROGRAM]\n");
        return 2;
    }
    const QString staging = arguments[2];
    const QString target = arguments[3];
    pivra::awaitProcessExit(static_cast<pid_t>(arguments[1].toLongLong()));
    // Held until this helper ends, so a program started meanwhile does not
    // sweep the folder away as a leftover.
    const std::optional<pivra::FolderLock> lock = pivra::FolderLock::take(staging);
    pivra::recoverInstall(target);
    const QString failure = lock ? pivra::swapInstall(staging + QStringLiteral("/root"), target)
                                 : QStringLiteral("cannot open %1").arg(staging);
    pivra::removeFolderTree(staging);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "pivra-update-helper: %s\n", qPrintable(failure));
    }
    // The old version starts again when the swap failed, so the user is not
    // left without the program.
    if (arguments.size() > 4 && !pivra::launchDetached(QDir(target).filePath(arguments[4]))) {
        std::fprintf(stderr, "pivra-update-helper: cannot start %s\n", qPrintable(arguments[4]));
        return 1;
    }
    return failure.isEmpty() ? 0 : 1;
}
