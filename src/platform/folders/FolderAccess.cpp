#include "platform/folders/FolderAccess.h"

#include "platform/folders/FileNameText.h"

#include <QHash>

#include <cerrno>
#include <dirent.h>
#include <mutex>

namespace pivra {

namespace {

std::mutex countsMutex;
QHash<QString, int>& counts()
{
    static QHash<QString, int> held;
    return held;
}

void count(const QString& path, int change)
{
    const std::lock_guard lock(countsMutex);
    int& held = counts()[path];
    held += change;
    if (held == 0) {
        counts().remove(path);
    }
}

} // namespace

bool FolderAccess::start(const QString& path)
{
    count(path, 1);
    return true;
}

void FolderAccess::stop(const QString& path)
{
    count(path, -1);
}

int FolderAccess::held(const QString& path)
{
    const std::lock_guard lock(countsMutex);
    return counts().value(path);
}

bool canReadFolder(const QString& path)
{
    DIR* folder = opendir(fileNameBytes(path).constData());
    if (folder == nullptr) {
        return false;
    }
    errno = 0;
    const bool readable = readdir(folder) != nullptr || errno == 0;
    closedir(folder);
    return readable;
}

} // namespace pivra
