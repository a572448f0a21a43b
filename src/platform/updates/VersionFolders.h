#pragma once

#include <QString>
#include <QStringList>

namespace pivra {

// The folders of an install's versions (see InstallLocation.h), and which of
// them may go.
//
// A program reads its version's resources (map, place names, style assets)
// for as long as it runs, so each running copy holds its version folder: a
// shared lock on the folder's marker, taken at start and let go of only by
// the process's end, however it ends, so a copy that crashed holds nothing.
// A version is removed only under an exclusive lock on the same marker; one
// that cannot be locked, because a copy runs from it or because the
// filesystem takes no locks, is kept for a later start to remove.

// Holds the version folder this program runs from for the rest of its life.
// Does nothing for a program that does not run from a version folder, or
// where the filesystem takes no locks. Call it once, first thing at start.
void holdRunningVersion();

// The versions folder of the install folder `root`, opened only when it is
// a real folder: a link in its place leads out of the install and is never
// followed, nor is a link inside it. Every name below is resolved in the
// folder opened here, whatever its path comes to name meanwhile.
class VersionsFolder {
public:
    explicit VersionsFolder(const QString& root);
    ~VersionsFolder();
    VersionsFolder(const VersionsFolder&) = delete;
    VersionsFolder& operator=(const VersionsFolder&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // The names of the real folders in it, links left out.
    QStringList folderNames() const;
    // Removes the folder `name` when it is a version (it carries the
    // marker) that no running copy and no install under way holds, its
    // marker last, so that a removal cut short leaves a folder the next
    // sweep still knows; an empty folder, all such a removal can leave
    // without its marker, goes too. Anything else is kept. Blocking disk
    // work; true when the folder is gone.
    bool removeUnheld(const QString& name) const;

private:
    QString pathOf(const QString& name) const;

    int fd_ = -1;
};

} // namespace pivra
