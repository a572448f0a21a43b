#include "app/sidebar/FolderTree.h"

#include "platform/folders/FileNameText.h"

namespace pivra {

FolderTree::FolderTree(const QStringList& folders)
{
    for (const QString& path : folders) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        children_[slash < 0 ? QString() : path.left(slash)].append(path);
        for (qsizetype at = path.indexOf(QLatin1Char('/')); at >= 0; at = path.indexOf(QLatin1Char('/'), at + 1)) {
            ancestors_.insert(path.left(at));
        }
    }
}

QString FolderTree::name(const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return readableFileText(parts.isEmpty() ? path : parts.last());
}

QString FolderTree::expansionKey(const QUuid& sourceID, const QString& path)
{
    return sourceID.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char(':') + path;
}

} // namespace pivra
