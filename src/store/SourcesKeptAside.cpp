#include "store/SourcesKeptAside.h"

#include "catalog/MediaCatalog.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace pivra {

QString unreadableSourcesFolder()
{
    return QFileInfo(MediaCatalog::defaultDatabasePath()).dir().filePath(QStringLiteral("Unreadable sources"));
}

QString keepSourcesAside(const QByteArray& unreadable)
{
    const QDir folder(unreadableSourcesFolder());
    if (!folder.mkpath(QStringLiteral("."))) {
        return {};
    }
    // Never over an earlier one: each is what some start could not read.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path = folder.filePath(stamp + QStringLiteral(".json"));
    for (int again = 1; QFileInfo::exists(path); ++again) {
        path = folder.filePath(stamp + QStringLiteral("-%1.json").arg(again));
    }
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(unreadable) == unreadable.size() && file.commit();
    return written ? path : QString();
}

} // namespace pivra
