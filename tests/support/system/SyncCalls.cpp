#include "support/system/SyncCalls.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

namespace pivra::test {
namespace {

std::mutex notedLock;
QList<QByteArray>& notedPaths()
{
    static QList<QByteArray> paths;
    return paths;
}

void note(int descriptor)
{
    char path[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(descriptor);
    const ssize_t length = ::readlink(link.constData(), path, sizeof path);
    if (length > 0) {
        const std::lock_guard guard(notedLock);
        notedPaths().append(QByteArray(path, qsizetype(length)));
    }
}

template<typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

int syncCallsUnder(const QString& folder)
{
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    const std::lock_guard guard(notedLock);
    return int(std::count_if(notedPaths().cbegin(), notedPaths().cend(),
                             [&prefix](const QByteArray& path) { return path.startsWith(prefix); }));
}

} // namespace pivra::test

extern "C" {

int fsync(int descriptor)
{
    pivra::test::note(descriptor);
    static const auto real = pivra::test::next<int (*)(int)>("fsync");
    return real(descriptor);
}

int fdatasync(int descriptor)
{
    pivra::test::note(descriptor);
    static const auto real = pivra::test::next<int (*)(int)>("fdatasync");
    return real(descriptor);
}

int sync_file_range(int descriptor, off64_t offset, off64_t count, unsigned int flags)
{
    pivra::test::note(descriptor);
    static const auto real = pivra::test::next<int (*)(int, off64_t, off64_t, unsigned int)>("sync_file_range");
    return real(descriptor, offset, count, flags);
}

} // extern "C"
