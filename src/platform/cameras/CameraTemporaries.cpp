#include "platform/cameras/CameraTemporaries.h"

#include "platform/folders/PrivateFolder.h"
#include "platform/runtime/threads/Pool.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

namespace pivra::CameraTemporaries {
namespace {

QString dotSuffix(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.isEmpty() ? QString() : u'.' + suffix;
}

} // namespace

QString folder()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                         QStringLiteral("/Pivra/Device Copies");
    return ensurePrivateFolder(path) ? path : QString();
}

QString newPath(const QString& fileName)
{
    const QString into = folder();
    return into.isEmpty() ? QString()
                          : into + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                dotSuffix(fileName);
}

QString fileTemplate(const QString& fileName)
{
    const QString into = folder();
    return into.isEmpty() ? QString() : into + QStringLiteral("/XXXXXX") + dotSuffix(fileName);
}

int removeOlderThan(const QString& folder, const QDateTime& before)
{
    return removeOwnEntries(folder, [&before](const QString&, const struct stat& status) {
        return isFileWrittenBefore(status, before);
    });
}

void removeEarlier()
{
    detail::startOnPool(PoolPriority::utility, [started = QDateTime::currentDateTime()] {
        if (const QString into = folder(); !into.isEmpty()) {
            removeOlderThan(into, started);
        }
    });
}

} // namespace pivra::CameraTemporaries
