#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

namespace pivra {

// Returns once the process `pid` has ended, at once when there is none.
void awaitProcessExit(pid_t pid);

// Puts the folder `staged` in place of `target` (both on one filesystem), so
// the old tree is then at `staged`: in one atomic exchange where the
// filesystem can exchange two names, else by two renames (see asidePath()).
// None on success, else why not, with both folders as they were.
std::optional<QString> swapInstall(const QString& staged, const QString& target);

// Starts `program` in a session of its own, so it outlives its starter.
bool launchDetached(const QString& program, const QStringList& arguments = {});

} // namespace pivra
