#include "platform/folders/NearestFolder.h"

#include <QDir>
#include <QFileInfo>

namespace pivra {

QString nearestFolder(const QString& path)
{
    QString folder = QDir::cleanPath(path);
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            return {};
        }
        folder = parent;
    }
    return folder;
}

} // namespace pivra
