#include "platform/updates/InstallLocation.h"

#include "platform/folders/FileNameText.h"

#include <QDir>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra {

namespace {

bool writable(const QString& folder)
{
    return ::access(fileNameBytes(folder).constData(), W_OK) == 0;
}

bool marked(const QString& folder)
{
    return QFileInfo::exists(folder + u'/' + installMarkerName);
}

QString parentOf(const QString& path)
{
    return QFileInfo(path).path();
}

} // namespace

QString entryLinkTo(const QString& version)
{
    return QStringLiteral("../%1/%2/%3").arg(versionsFolderName, version, installEntry);
}

InstallEntry installEntryOf(const QString& root)
{
    const QByteArray entry = fileNameBytes(QString(root + u'/' + installEntry));
    struct stat status {};
    if (::lstat(entry.constData(), &status) != 0) {
        return {};
    }
    if (S_ISREG(status.st_mode)) {
        return {InstallEntry::Kind::program, {}};
    }
    char target[PATH_MAX];
    const ssize_t length = S_ISLNK(status.st_mode) ? ::readlink(entry.constData(), target, sizeof target) : -1;
    if (length <= 0 || length >= ssize_t(sizeof target)) {
        return {};
    }
    // Only the link an install makes names a version: one step below
    // versions/, no other path that happens to lead somewhere.
    const QString text = fileNameText(QByteArrayView(target, length));
    const QString prefix = QStringLiteral("../%1/").arg(versionsFolderName);
    const QString suffix = u'/' + installEntry;
    if (!text.startsWith(prefix) || !text.endsWith(suffix) || text.size() <= prefix.size() + suffix.size()) {
        return {};
    }
    const QString name = text.mid(prefix.size(), text.size() - prefix.size() - suffix.size());
    struct stat folder {};
    if (name.contains(u'/') || name == u"." || name == u".."
        || ::lstat(fileNameBytes(QString(root + u'/' + versionsFolderName + u'/' + name)).constData(), &folder) != 0
        || !S_ISDIR(folder.st_mode)) {
        return {};
    }
    return {InstallEntry::Kind::version, name};
}

InstallLocation locateInstall(const QString& programFolder)
{
    // The program's own tree: the version folder it runs from, or, in an
    // install from before versions were kept apart, the install folder.
    const QString tree = QDir::cleanPath(QFileInfo(programFolder).canonicalFilePath() + QStringLiteral("/.."));
    const QString versions = parentOf(tree);
    const bool versioned = QFileInfo(versions).fileName() == versionsFolderName && marked(parentOf(versions));
    const QString root = versioned ? parentOf(versions) : tree;
    // An update stages beside the install folder and renames into it, its
    // versions folder and its entry's folder: all must be writable.
    const QString versionsFolder = root + u'/' + versionsFolderName;
    const bool updatable = writable(root) && writable(parentOf(root)) && writable(root + QStringLiteral("/bin"))
                           && (!QFileInfo::exists(versionsFolder) || writable(versionsFolder));
    if (marked(root) && updatable) {
        return {InstallKind::selfUpdating, root};
    }
    if (marked(root) || !writable(programFolder)) {
        return {InstallKind::systemPackage, root};
    }
    return {InstallKind::buildTree, root};
}

} // namespace pivra
