#include "platform/folders/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace pivra {
namespace {

// A descriptor closed on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// The folder `name` in `parent`, opened only when it is a folder itself:
// O_NOFOLLOW refuses a link in its place, whatever it points at.
int openFolder(int parent, const QByteArray& name)
{
    return ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in the open folder `fd`, read before anything is removed.
QList<QByteArray> entryNames(int fd)
{
    QList<QByteArray> names;
    DIR* listing = ::fdopendir(::dup(fd)); // takes the duplicate
    if (listing == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names.append(name);
        }
    }
    ::closedir(listing);
    return names;
}

bool removeEntry(int parent, const QByteArray& name, const struct stat& status);

// The folder `name` of `parent` opened for emptying: its owner is given
// read, write and search rights on it first (a tree unpacked from an archive
// may hold folders made read-only, or unreadable, whose entries could not be
// removed otherwise). The rights are set through a handle on the folder
// itself, which follows no link, so they can reach nothing else.
int openForEmptying(int parent, const QByteArray& name)
{
    const Descriptor handle(::openat(parent, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!handle.valid() || ::fstat(handle.get(), &status) != 0) {
        return -1;
    }
    if ((status.st_mode & S_IRWXU) != S_IRWXU) {
        // A handle opened only for its path cannot be given to fchmod; its
        // entry in /proc names the same folder.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(handle.get());
        ::chmod(self.constData(), (status.st_mode & 07777) | S_IRWXU);
    }
    return ::openat(handle.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Removes the folder `name` of `parent` with all it holds. Each level is
// opened without following links, so a folder swapped for a link after it
// was looked at is removed as the link it has become.
bool removeTree(int parent, const QByteArray& name)
{
    const Descriptor folder(openForEmptying(parent, name));
    if (!folder.valid()) {
        return (errno == ELOOP || errno == ENOTDIR) && ::unlinkat(parent, name.constData(), 0) == 0;
    }
    for (const QByteArray& inner : entryNames(folder.get())) {
        struct stat status {};
        if (::fstatat(folder.get(), inner.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            removeEntry(folder.get(), inner, status);
        }
    }
    return ::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
}

bool removeEntry(int parent, const QByteArray& name, const struct stat& status)
{
    return S_ISDIR(status.st_mode) ? removeTree(parent, name) : ::unlinkat(parent, name.constData(), 0) == 0;
}

// The path without a trailing slash, which would have a link at its end
// followed before O_NOFOLLOW could refuse it.
QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(QDir::cleanPath(path));
}

} // namespace

bool ensurePrivateFolder(const QString& path)
{
    const QByteArray native = nativePath(path);
    QDir().mkpath(QFileInfo(QDir::cleanPath(path)).path());
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    const Descriptor folder(openFolder(AT_FDCWD, native));
    struct stat status {};
    if (!folder.valid() || ::fstat(folder.get(), &status) != 0 || status.st_uid != ::geteuid()) {
        return false;
    }
    return (status.st_mode & 0077) == 0 || ::fchmod(folder.get(), 0700) == 0;
}

int removeOwnEntries(const QString& folderPath, const EntryChoice& chosen)
{
    const Descriptor folder(openFolder(AT_FDCWD, nativePath(folderPath)));
    struct stat folderStatus {};
    if (!folder.valid() || ::fstat(folder.get(), &folderStatus) != 0 || folderStatus.st_uid != ::geteuid()) {
        return 0;
    }
    int removed = 0;
    for (const QByteArray& name : entryNames(folder.get())) {
        struct stat status {};
        if (::fstatat(folder.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
            && status.st_uid == ::geteuid() && chosen(QFile::decodeName(name), status)
            && removeEntry(folder.get(), name, status)) {
            ++removed;
        }
    }
    return removed;
}

bool removeFolderTree(const QString& path)
{
    const QByteArray native = nativePath(path);
    struct stat status {};
    if (::lstat(native.constData(), &status) != 0) {
        return errno == ENOENT;
    }
    const QByteArray parent = QFile::encodeName(QFileInfo(QDir::cleanPath(path)).path());
    const Descriptor parentFolder(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QByteArray name = QFile::encodeName(QFileInfo(QDir::cleanPath(path)).fileName());
    return parentFolder.valid() && removeEntry(parentFolder.get(), name, status);
}

bool isUuidName(const QString& name, QLatin1StringView suffix)
{
    constexpr qsizetype uuidLength = 36;
    if (name.size() != uuidLength + suffix.size() || !name.endsWith(suffix)) {
        return false;
    }
    for (qsizetype i = 0; i < uuidLength; ++i) {
        const QChar c = name.at(i);
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (hyphen ? c != u'-' : !hex) {
            return false;
        }
    }
    return true;
}

bool isFileWrittenBefore(const struct stat& status, const QDateTime& before)
{
    const std::int64_t written = std::int64_t(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000;
    return S_ISREG(status.st_mode) && written < before.toMSecsSinceEpoch();
}

} // namespace pivra
