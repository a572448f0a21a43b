#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

namespace pivra {

// Returns once the process `pid` has ended, at once when there is none.
void awaitProcessExit(pid_t pid);

// Puts the verified tree `staged` (on the install folder's filesystem) in
// use as version `version` of the install folder `root` (see
// InstallLocation.h): the tree is renamed into root/versions/, a link to its
// program is made beside the entry and renamed over it, and the version in
// use until then is removed (in an install from before versions were kept
// apart, the files around the entry). Each change of a name is one rename,
// link or removal, and the entry starts a whole version before and after
// each, so a kill at any point leaves a program to start; what it leaves
// besides is swept by recoverInstall(), as is a replaced version another
// copy still runs from (see VersionFolders.h). No filesystem needs to
// exchange two names. A versions folder that is a link is refused. None on
// success, else why not, with `staged` and the entry as they were.
std::optional<QString> installVersion(const QString& staged, const QString& root, const QString& version);

// Starts `program` in a session of its own, so it outlives its starter.
bool launchDetached(const QString& program, const QStringList& arguments = {});

} // namespace pivra
