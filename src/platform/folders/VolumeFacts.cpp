#include "platform/folders/VolumeFacts.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace pivra {

std::optional<VolumeFacts> volumeFacts(const QString& path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid()) {
        return std::nullopt;
    }
    VolumeFacts facts{storage.rootPath(), std::nullopt, std::nullopt};
    // Many disks have no label; desktop automounters name the mount folder
    // after the label or the device, which is what the user sees in the file
    // manager.
    QString name = storage.name();
    if (name.isEmpty()) {
        name = QFileInfo(facts.rootPath).fileName();
    }
    if (!name.isEmpty()) {
        facts.name = name;
    }
    if (const qint64 total = storage.bytesTotal(); total >= 0) {
        facts.capacity = total;
    }
    return facts;
}

} // namespace pivra
