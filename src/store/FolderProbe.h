#pragma once

#include "catalog/model/LibrarySource.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/VolumeFacts.h"

#include <optional>

namespace pivra {

// What a folder source's folder looks like now: everything the access pass
// reads from the disk, read in one go off the GUI thread, since any of it may
// hang on a dead network share.
struct FolderProbe {
    // The source's own folder where it is now; none when it is not to be found.
    std::optional<FolderBookmark> bookmark;
    std::optional<ResolvedFolder> folder;
    // Whether the folder lies on the filesystem the source was added on.
    bool onRecordedVolume = false;
    bool exists = false;
    bool readable = false;
    // The volume of the folder found, for the source's volume fields.
    std::optional<VolumeFacts> volume;
    // Whether the source's disk is there (or, without one, its last place),
    // so that a folder it cannot find there is worth asking the user about.
    bool diskIsThere = false;
    // Whether anything is at the source's last known path.
    bool lastPathIsThere = false;
};

// Reads the disk for `source` (a folder source). Blocks for as long as the
// disk takes. A link in its path that now leads off the filesystem its folder
// lies on is not followed (atRecordedPlace).
FolderProbe probeFolder(const LibrarySource& source);

// A folder the user chose to add or to reconnect, as the disk tells it.
struct ChosenFolder {
    std::optional<FolderBookmark> bookmark; // none: no record can be made of it
    bool readable = false;
    std::optional<VolumeFacts> volume;
    std::optional<std::uint64_t> mount; // the mount it lies on (mountIdOf)
};

ChosenFolder inspectChosenFolder(const QString& path);

} // namespace pivra
