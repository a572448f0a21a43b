#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace pivra {

// Returns once the process `pid` has ended, at once when there is none.
void awaitProcessExit(pid_t pid);

// Exchanges the folders `staged` and `target` (both on one filesystem) in one
// atomic step, so the old tree is then at `staged`. Returns an empty text on
// success, else what went wrong, with both folders as they were.
QString swapInstall(const QString& staged, const QString& target);

// Starts `program` in a session of its own, so it outlives its starter.
bool launchDetached(const QString& program, const QStringList& arguments = {});

} // namespace pivra
