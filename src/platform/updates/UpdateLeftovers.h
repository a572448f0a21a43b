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

// Where a swap by two renames moves the install folder aside
// ("<root>.replaced-<pid>"): once the old tree is there and until the new one
// has taken its place, no install sits at `installRoot`.
QString asidePath(const QString& installRoot);

// Puts right what an interrupted update left beside `installRoot`: when the
// install folder is missing but a swap had moved it aside, it is moved back;
// then old trees left aside and staging folders no process holds are
// removed, except the newest update kept after a failed install (see
// KeptUpdate) that is newer than `installedVersion` (any, when empty), which
// is returned. Slow: never on the GUI thread.
std::optional<KeptUpdate> recoverInstall(const QString& installRoot, const QString& installedVersion = {});

} // namespace pivra
