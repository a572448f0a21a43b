#pragma once

#include "catalog/model/Timestamp.h"

#include <cstdint>
#include <optional>

namespace pivra {

// The file-system facts a folder walk reads for a file before inspecting it.
// Any of them may be missing (no birth time on the file system, a failed stat).
struct FileValues {
    std::optional<Timestamp> contentModificationDate;
    std::optional<Timestamp> creationDate;
    std::optional<std::int64_t> fileSize;
};

} // namespace pivra
