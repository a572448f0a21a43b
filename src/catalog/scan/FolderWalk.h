#pragma once

#include "catalog/scan/FileValues.h"
#include "catalog/scan/TextArena.h"
#include "platform/runtime/CancelToken.h"
#include "platform/folders/FolderIdentity.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

namespace pivra {

// One regular file the walk found.
struct WalkedFile {
    QString path;     // below the root as it was given, so ids keep the user's path
    QString relative; // below the resolved root, "/"-separated, no leading "/"
    FileValues values;
};

// The files of a walk, kept compactly: a scan holds every file of its source
// until it ends, and a source may have millions. The relative paths lie as
// their bytes in one arena beside a fixed record of each file's values,
// neither of which moves as it grows; a file's path is the root as given,
// "/" and its relative path, so it is made again when the file is asked for.
class WalkedFiles {
public:
    // `root` as given, without a trailing "/" ("" for "/").
    explicit WalkedFiles(QString root = {});

    void append(QStringView relative, const FileValues& values);
    // Appends the files of `other` from `first` up to `end`.
    void append(const WalkedFiles& other, std::size_t first, std::size_t end);

    std::size_t size() const { return records_.size(); }
    const QString& root() const { return root_; }
    WalkedFile operator[](std::size_t index) const;
    // What operator[] gives, without making its strings.
    std::string_view relativeBytes(std::size_t index) const;
    FileValues values(std::size_t index) const;

private:
    // A missing date is NaN and a missing size negative, which no file has.
    struct Record {
        TextArena::Place relative = 0;
        std::uint32_t size = 0;
        double modified = 0;
        double created = 0;
        std::int64_t fileSize = 0;
    };

    QString root_;
    TextArena arena_;
    std::deque<Record> records_;
};

struct FolderWalk {
    // False when the root could not be resolved or opened; nothing else is set.
    bool opened = false;
    QString rootPath; // the root with symbolic links resolved
    FolderIdentity rootIdentity; // of the folder opened, birth time included
    // Depth first; within a folder by the bytes of the names.
    WalkedFiles files;
    // Folders below the root that could not be opened (no permission, like
    // the "lost+found" of every ext4 disk, or deeper than the walk keeps
    // folders open), relative to the resolved root. What lies inside them is
    // unknown; everything else was seen.
    QStringList unopenedFolders;
    // False when the walk cannot vouch even for the folders it opened: a
    // listing failed part-way (an I/O error, a disk pulled out), the root's
    // own files could not be read, or the walk was cancelled. Nothing may
    // then be concluded from a file's absence.
    bool complete = false;
};

// Walks the folder at `root` without following symbolic links: a link is
// neither a file nor a folder to the walk, so everything found resolves
// inside the root. Passed over, and not reasons for incompleteness: hidden
// names (a leading "."), the insides of macOS package folders (".app",
// ".photoslibrary" and the like), anything that is not a regular file or a
// folder, and, when the root is "/", the kernel's folders and the mount
// folders of other disks. A name that is not UTF-8 is walked like any other,
// its paths keeping its bytes (fileNameText()).
//
// The walk keeps one open folder per level, on a stack of its own rather
// than the thread's, and no more of them than a share of the process's
// open-file limit: a deeper folder counts as one it could not open. The
// root's folders (or, when the root holds one folder, as a card holds
// "DCIM", the folders inside it) are walked on several threads at once, each
// within its part of that share; what they find comes in the order of a walk
// on one thread.
// Memory grows with the depth, not with its square. Blocks on the disk: run
// it on a worker thread. Polls `cancel` between folders.
FolderWalk walkFolder(const QString& root, const CancelToken& cancel);

// True for folder names a walk does not enter: macOS packages and libraries.
bool isPackageFolderName(const QString& name);

} // namespace pivra
