#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace pivra {

// Returns once the process `pid` has ended, at once when there is none.
void awaitProcessExit(pid_t pid);

// Puts the folder `staged` in place of `target` (both on one filesystem) by
// two renames, moving the old folder aside first and back when the second
// rename fails, then removes the old folder. Returns an empty text on
// success, else what went wrong, with `target` as it was.
QString swapInstall(const QString& staged, const QString& target);

// Starts `program` in a session of its own, so it outlives its starter.
bool launchDetached(const QString& program, const QStringList& arguments = {});

} // namespace pivra
