#include "platform/folders/FolderIdentity.h"

#include <QFile>

#include <sys/stat.h>

namespace pivra {

std::optional<FolderIdentity> folderIdentity(const QString& path)
{
    struct stat values {};
    if (stat(QFile::encodeName(path).constData(), &values) != 0 || !S_ISDIR(values.st_mode)) {
        return std::nullopt;
    }
    return FolderIdentity{static_cast<std::uint64_t>(values.st_dev), static_cast<std::uint64_t>(values.st_ino)};
}

} // namespace pivra
