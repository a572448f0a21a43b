#include "platform/updates/InstallLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace pivra {

namespace {

bool writable(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

} // namespace

InstallLocation locateInstall(const QString& programFolder)
{
    const QString root = QDir::cleanPath(QFileInfo(programFolder).canonicalFilePath() + QStringLiteral("/.."));
    const bool marked = QFileInfo::exists(root + u'/' + installMarkerName);
    // The swap renames the root within its parent, so both must be writable.
    if (marked && writable(root) && writable(QFileInfo(root).path())) {
        return {InstallKind::selfUpdating, root};
    }
    if (marked || !writable(programFolder)) {
        return {InstallKind::systemPackage, root};
    }
    return {InstallKind::buildTree, root};
}

} // namespace pivra
