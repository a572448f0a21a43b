#pragma once

#include "platform/updates/KeptUpdate.h"

#include <QString>

#include <optional>

namespace pivra {

// Folders an update stages beside the install folder start with this name.
inline const QString stagingFolderPrefix = QStringLiteral(".pivra-update-");

// An exclusive lock on a folder (flock on the folder itself) for as long as
// the object lives or the process runs: marks a staging folder as in use by
// the program that fills it or the helper that installs it.
class FolderLock {
public:
    // The lock, or none when another process holds it or the folder is gone.
    static std::optional<FolderLock> tryTake(const QString& folder);
    // Waits until the lock is free; none when the folder cannot be opened.
    static std::optional<FolderLock> take(const QString& folder);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

private:
    explicit FolderLock(int fd) : fd_(fd) {}
    static std::optional<FolderLock> open(const QString& folder, bool wait);

    int fd_ = -1;
};

// The entry's next link is made beside it under this name and renamed over
// it; a kill in between leaves it behind.
inline const QString nextEntryPrefix = QStringLiteral(".pivra-next-");

// Removes what the install folder `root` holds around its entry and its
// versions folder (see InstallLocation.h): the files of an install from
// before versions were kept apart, once its entry starts a version, and
// next links a killed install left. Never the marker. Slow: never on the
// GUI thread.
void removeOutsideVersions(const QString& root);

// Puts right what an interrupted update left in and beside `installRoot`:
// version folders its entry does not start, unless a running copy or an
// install holds one (see VersionFolders.h; nothing behind a link goes), and
// what removeOutsideVersions() removes; then
// staging folders no process holds, except the newest update kept after a
// failed install (see KeptUpdate) that is newer than `installedVersion`
// (any, when empty), which is returned. Where the entry is neither a link an
// install made nor a program, nothing inside the install folder is touched.
// Slow: never on the GUI thread.
std::optional<KeptUpdate> recoverInstall(const QString& installRoot, const QString& installedVersion = {});

} // namespace pivra
