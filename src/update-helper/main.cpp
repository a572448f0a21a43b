// Installs a verified update once the program that downloaded it has quit:
//
//   pivra-update-helper PID STAGING TARGET [PROGRAM]
//
// waits for process PID to end, puts STAGING/root in use as a new version of
// the install folder TARGET (see InstallLocation.h), removes STAGING and the
// version it replaced and, when PROGRAM is given (a path inside TARGET),
// starts it again. Nothing here decides whether the update is good: the
// program verified and unpacked it before starting this helper. Killed at any
// point, it leaves TARGET's entry starting a whole version, the old one or
// the new; the next start of the program or of this helper sweeps the rest.
// When the update cannot be installed, STAGING is kept with a note of why,
// for the program to show and not to download the same update again.
#include "platform/folders/PrivateFolder.h"
#include "platform/updates/InstallSwap.h"
#include "platform/updates/KeptUpdate.h"
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
    std::optional<pivra::FolderLock> lock = pivra::FolderLock::take(staging);
    pivra::recoverInstall(target);
    std::optional<QString> failure = QStringLiteral("cannot open %1").arg(staging);
    if (lock) {
        failure = pivra::installVersion(staging + QStringLiteral("/root"), target, pivra::stagedVersion(staging));
        if (failure) {
            pivra::keepFailedInstall(staging, target, *failure);
        }
    }
    if (!lock || !failure) {
        pivra::removeFolderTree(staging);
    }
    // What is left is kept for the program, which may start any moment now.
    lock.reset();
    if (failure) {
        std::fprintf(stderr, "pivra-update-helper: cannot install the update into %s: %s\n", qPrintable(target),
                     qPrintable(*failure));
    }
    // The old version starts again when the install failed, so the user is
    // not left without the program.
    if (arguments.size() > 4 && !pivra::launchDetached(QDir(target).filePath(arguments[4]))) {
        std::fprintf(stderr, "pivra-update-helper: cannot start %s\n", qPrintable(arguments[4]));
        return 1;
    }
    return failure ? 1 : 0;
}
