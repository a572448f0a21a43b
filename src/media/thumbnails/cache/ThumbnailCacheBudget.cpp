#include "media/thumbnails/cache/ThumbnailCacheBudget.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace pivra {

void trimToBudget(const QString& directory, std::int64_t budgetBytes, const QString& keep)
{
    QFileInfoList files = QDir(directory).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    std::int64_t total = 0;
    for (const QFileInfo& file : files) {
        total += file.size();
    }
    if (total <= budgetBytes) {
        return;
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() < b.lastModified();
    });
    const QString kept = QFileInfo(keep).absoluteFilePath();
    for (const QFileInfo& file : files) {
        if (total <= budgetBytes) {
            return;
        }
        if (file.absoluteFilePath() == kept) {
            continue;
        }
        // Another worker may have removed it already; its size is gone either way.
        QFile::remove(file.absoluteFilePath());
        total -= file.size();
    }
}

void markUsed(const QString& path)
{
    QFile file(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    }
}

} // namespace pivra
