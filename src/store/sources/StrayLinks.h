#pragma once

#include "catalog/model/LibrarySource.h"
#include "platform/folders/FolderBookmark.h"

#include <optional>

namespace pivra {

// `source` as a probe is to read it, when a link in its path now leads off
// the filesystem its folder lies on (as `bookmark`, its record, tells): the
// user pointed ~/Pictures elsewhere since the folder was added, so the link
// no longer leads to the folder, and what it leads to may be a share that
// does not answer, which the probe must not wait for. Its path and record
// are then put at the folder's recorded place on its own filesystem. None
// when its path leads where its folder lies, or that filesystem is not
// mounted. Reads the links in the path, never what they lead to.
std::optional<LibrarySource> atRecordedPlace(const LibrarySource& source, const FolderBookmark& bookmark);

} // namespace pivra
