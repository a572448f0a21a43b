#include "catalog/FolderWalk.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra {

namespace {

// macOS shows these folders as single documents; disks used with a Mac carry
// them, and their insides hold thousands of derivatives and caches.
constexpr std::array packageExtensions{
    "app",       "bundle",       "framework", "plugin",     "kext",      "photoslibrary",
    "photolibrary", "migratedphotolibrary", "aplibrary", "fcpbundle", "imovielibrary", "tvlibrary",
    "theater",   "logicx",       "band",      "rtfd",       "pages",     "numbers",
    "key",
};

// Under "/": the kernel's and the runtime's pseudo file systems, and the
// folders where other disks are mounted (each disk is a source of its own).
constexpr std::array systemFoldersUnderRoot{"proc", "sys", "dev", "run", "media", "mnt"};

Timestamp timestampOf(const struct statx_timestamp& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

struct FileDescriptor {
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int fd;
};

struct DirectoryEntry {
    std::string name;
    unsigned char type;
};

// The names of the open folder `fd`, sorted by their bytes. Answers false
// when reading failed part of the way.
bool readEntries(int fd, std::vector<DirectoryEntry>& entries)
{
    const int own = dup(fd);
    if (own < 0) {
        return false;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> directory(fdopendir(own), &closedir);
    if (!directory) {
        close(own);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory.get());
        if (entry == nullptr) {
            if (errno != 0) {
                return false;
            }
            break;
        }
        entries.push_back({entry->d_name, entry->d_type});
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
}

std::optional<QString> utf8Name(const std::string& name)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    if (decoder.hasError()) {
        return std::nullopt; // such a name cannot round-trip through the catalog's text
    }
    return decoded;
}

bool isSystemFolderUnderRoot(const std::string& name)
{
    return std::find(systemFoldersUnderRoot.begin(), systemFoldersUnderRoot.end(), name)
           != systemFoldersUnderRoot.end();
}

class Walker {
public:
    Walker(FolderWalk& walk, QString walkedRoot, const CancelToken& cancel)
        : walk_(walk), walkedRoot_(std::move(walkedRoot)), cancel_(cancel)
    {
    }

    // Answers false when anything below `fd` could not be read.
    bool walk(int fd, const QString& relativeFolder, bool isFileSystemRoot)
    {
        if (cancel_.isCancelled()) {
            return false;
        }
        std::vector<DirectoryEntry> entries;
        bool complete = readEntries(fd, entries);
        for (const DirectoryEntry& entry : entries) {
            if (entry.name.empty() || entry.name.front() == '.') {
                continue; // hidden, and "." and ".."
            }
            const std::optional<QString> name = utf8Name(entry.name);
            if (!name) {
                continue;
            }
            const QString relative = relativeFolder.isEmpty() ? *name : relativeFolder + u'/' + *name;
            if (entry.type == DT_DIR) {
                complete = enterFolder(fd, entry.name, *name, relative, isFileSystemRoot) && complete;
            } else if (entry.type == DT_REG || entry.type == DT_UNKNOWN) {
                complete = visit(fd, entry.name, *name, relative, isFileSystemRoot) && complete;
            }
        }
        return complete;
    }

private:
    bool enterFolder(int parent, const std::string& rawName, const QString& name, const QString& relative,
                     bool isFileSystemRoot)
    {
        if (isPackageFolderName(name) || (isFileSystemRoot && isSystemFolderUnderRoot(rawName))) {
            return true;
        }
        const FileDescriptor folder(openat(parent, rawName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.fd < 0) {
            return errno == ENOENT; // gone since it was listed; anything else hides files
        }
        return walk(folder.fd, relative, false);
    }

    // A file, or an entry whose type the listing did not tell.
    bool visit(int parent, const std::string& rawName, const QString& name, const QString& relative,
               bool isFileSystemRoot)
    {
        struct statx values {};
        constexpr unsigned mask = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
        if (statx(parent, rawName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &values) != 0) {
            return errno == ENOENT; // removed since it was listed
        }
        if (S_ISDIR(values.stx_mode)) {
            return enterFolder(parent, rawName, name, relative, isFileSystemRoot);
        }
        if (!S_ISREG(values.stx_mode)) {
            return true;
        }
        FileValues fileValues;
        fileValues.fileSize = static_cast<std::int64_t>(values.stx_size);
        if (values.stx_mask & STATX_MTIME) {
            fileValues.contentModificationDate = timestampOf(values.stx_mtime);
        }
        if (values.stx_mask & STATX_BTIME) {
            fileValues.creationDate = timestampOf(values.stx_btime);
        }
        walk_.files.push_back({walkedRoot_ + u'/' + relative, relative, fileValues});
        return true;
    }

    FolderWalk& walk_;
    QString walkedRoot_;
    const CancelToken& cancel_;
};

} // namespace

bool isPackageFolderName(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) {
        return false;
    }
    const QStringView extension = QStringView(name).mid(dot + 1);
    return std::any_of(packageExtensions.begin(), packageExtensions.end(), [extension](const char* package) {
        return extension.compare(QLatin1StringView(package), Qt::CaseInsensitive) == 0;
    });
}

std::optional<FolderIdentity> folderIdentity(const QString& path)
{
    struct stat values {};
    if (stat(QFile::encodeName(path).constData(), &values) != 0 || !S_ISDIR(values.st_mode)) {
        return std::nullopt;
    }
    return FolderIdentity{static_cast<std::uint64_t>(values.st_dev), static_cast<std::uint64_t>(values.st_ino)};
}

FolderWalk walkFolder(const QString& root, const CancelToken& cancel)
{
    FolderWalk walk;
    const QByteArray encodedRoot = QFile::encodeName(root);
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(encodedRoot.constData(), nullptr), &std::free);
    if (!resolved) {
        return walk;
    }
    const FileDescriptor rootFolder(open(resolved.get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat rootValues {};
    if (rootFolder.fd < 0 || fstat(rootFolder.fd, &rootValues) != 0) {
        return walk;
    }
    walk.opened = true;
    walk.rootPath = QFile::decodeName(resolved.get());
    walk.rootIdentity = {static_cast<std::uint64_t>(rootValues.st_dev), static_cast<std::uint64_t>(rootValues.st_ino)};

    QString walkedRoot = root;
    while (walkedRoot.endsWith(u'/')) {
        walkedRoot.chop(1); // "/" itself becomes "", so its files read "/name"
    }
    Walker walker(walk, walkedRoot, cancel);
    walk.complete = walker.walk(rootFolder.fd, QString(), walk.rootPath == u"/") && !cancel.isCancelled();
    return walk;
}

} // namespace pivra
