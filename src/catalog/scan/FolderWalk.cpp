#include "catalog/scan/FolderWalk.h"

#include "catalog/scan/ParallelRuns.h"

#include "platform/folders/FileNameText.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
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

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

// The folder open as `fd` as a directory stream that owns the descriptor;
// null (and `fd` closed) when it cannot be one.
Directory directoryOf(int fd)
{
    if (fd < 0) {
        return nullptr;
    }
    Directory directory(fdopendir(fd));
    if (!directory) {
        close(fd);
    }
    return directory;
}

struct DirectoryEntry {
    std::string name;
    unsigned char type;
};

// The names of `directory`, sorted by their bytes. Answers false when reading
// failed part of the way.
bool readEntries(DIR* directory, std::vector<DirectoryEntry>& entries)
{
    bool whole = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory);
        if (entry == nullptr) {
            whole = errno == 0;
            break;
        }
        entries.push_back({entry->d_name, entry->d_type});
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return whole;
}

bool isSystemFolderUnderRoot(const std::string& name)
{
    return std::find(systemFoldersUnderRoot.begin(), systemFoldersUnderRoot.end(), name)
           != systemFoldersUnderRoot.end();
}

// How many folders one walk may hold open at once: a quarter of the
// process's descriptors, so that several scans, the catalog and the
// inspections running beside them still find some.
std::size_t openFolderBudget()
{
    constexpr std::size_t fewest = 16;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 256;
    }
    return std::max<std::size_t>(fewest, static_cast<std::size_t>(limit.rlim_cur) / 4);
}

// A folder of the root, walked on a thread of its own and spliced back into
// the walk where the root's listing met it.
struct Subtree {
    std::string rawName;
    QString relative;
    std::size_t filesBefore = 0;   // the root's own files listed before it
    qsizetype unopenedBefore = 0;  // and the root's folders found unopened
    FolderWalk part;
};

// Depth first over an explicit stack of open folders. The relative path of
// the folder being read is one string that grows and shrinks with the stack;
// each level keeps only its length.
class Walker {
public:
    // Holds at most `budget` folders open. With `spread`, the folders of the
    // first folder it opens are not entered but listed there, to be walked
    // apart.
    Walker(FolderWalk& walk, const CancelToken& cancel, std::size_t budget, std::deque<Subtree>* spread = nullptr)
        : walk_(walk), cancel_(cancel), budget_(budget), spread_(spread)
    {
    }

    // Walks `folder`, which lies at `relative` below the root. Answers
    // whether everything opened was read whole.
    bool run(Directory folder, bool isFileSystemRoot, const QString& relative = {})
    {
        isFileSystemRoot_ = isFileSystemRoot;
        relative_ = relative;
        push(std::move(folder));
        while (!stack_.empty()) {
            if (cancel_.isCancelled()) {
                return false;
            }
            Level& level = stack_.back();
            if (level.next == level.entries.size()) {
                stack_.pop_back();
                continue;
            }
            const DirectoryEntry entry = std::move(level.entries[level.next++]);
            relative_.truncate(level.relativeLength);
            step(entry);
        }
        return whole_;
    }

private:
    struct Level {
        Directory directory;
        std::vector<DirectoryEntry> entries;
        std::size_t next = 0;
        qsizetype relativeLength = 0;
        bool unreadable = false;
    };

    void push(Directory directory)
    {
        Level level;
        whole_ = readEntries(directory.get(), level.entries) && whole_;
        level.directory = std::move(directory);
        level.relativeLength = relative_.size();
        stack_.push_back(std::move(level));
    }

    // One entry of the folder on top of the stack.
    void step(const DirectoryEntry& entry)
    {
        if (entry.name.empty() || entry.name.front() == '.') {
            return; // hidden, and "." and ".."
        }
        const QString name = fileNameText(entry.name);
        const QString relative = relative_.isEmpty() ? name : relative_ + u'/' + name;
        if (entry.type == DT_DIR) {
            enterFolder(entry.name, name, relative);
        } else if (entry.type == DT_REG || entry.type == DT_UNKNOWN) {
            visit(entry.name, name, relative);
        }
    }

    int topFd() const { return dirfd(stack_.back().directory.get()); }

    void enterFolder(const std::string& rawName, const QString& name, const QString& relative)
    {
        const bool atFileSystemRoot = isFileSystemRoot_ && stack_.size() == 1;
        if (isPackageFolderName(name) || (atFileSystemRoot && isSystemFolderUnderRoot(rawName))) {
            return;
        }
        if (spread_ != nullptr && stack_.size() == 1) {
            Subtree& subtree = spread_->emplace_back();
            subtree.rawName = rawName;
            subtree.relative = relative;
            subtree.filesBefore = walk_.files.size();
            subtree.unopenedBefore = walk_.unopenedFolders.size();
            return;
        }
        if (stack_.size() >= budget_) {
            walk_.unopenedFolders.append(relative);
            return;
        }
        Directory folder = directoryOf(openat(topFd(), rawName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder) {
            if (errno != ENOENT) { // ENOENT: gone since it was listed
                walk_.unopenedFolders.append(relative);
            }
            return;
        }
        relative_ = relative;
        push(std::move(folder));
    }

    // A file, or an entry whose type the listing did not tell.
    void visit(const std::string& rawName, const QString& name, const QString& relative)
    {
        struct statx values {};
        constexpr unsigned mask = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME;
        if (statx(topFd(), rawName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &values) != 0) {
            if (errno != ENOENT) { // ENOENT: removed since it was listed
                markTopUnreadable();
            }
            return;
        }
        if (S_ISDIR(values.stx_mode)) {
            enterFolder(rawName, name, relative);
            return;
        }
        if (!S_ISREG(values.stx_mode)) {
            return;
        }
        FileValues fileValues;
        fileValues.fileSize = static_cast<std::int64_t>(values.stx_size);
        if (values.stx_mask & STATX_MTIME) {
            fileValues.contentModificationDate = timestampOf(values.stx_mtime);
        }
        if (values.stx_mask & STATX_BTIME) {
            fileValues.creationDate = timestampOf(values.stx_btime);
        }
        walk_.files.append(relative, fileValues);
    }

    // The folder on top could be listed but its entries not looked at (it
    // may be read but not searched): it counts as a folder that could not
    // be opened, and for the root that means nothing was seen for sure.
    void markTopUnreadable()
    {
        Level& level = stack_.back();
        if (level.unreadable) {
            return;
        }
        level.unreadable = true;
        if (level.relativeLength == 0) {
            whole_ = false;
        } else {
            walk_.unopenedFolders.append(relative_.left(level.relativeLength));
        }
    }

    FolderWalk& walk_;
    const CancelToken& cancel_;
    const std::size_t budget_;
    std::deque<Subtree>* const spread_;
    std::vector<Level> stack_;
    QString relative_;
    bool isFileSystemRoot_ = false;
    bool whole_ = true;
};

// A share of the open-folder budget never below this many levels; below,
// fewer subtrees are walked at once.
constexpr std::size_t fewestLevels = 16;

// How many single folders in a row are looked through for the folders worth
// walking apart, as a camera's card holds only "DCIM" and all its photos
// lie in the folders inside it.
constexpr int lonelyFolders = 4;

bool walkSubtrees(FolderWalk& walk, int folderFd, std::deque<Subtree>& subtrees, const CancelToken& cancel,
                  std::size_t budget, int lonelyAbove);

// Walks `folder`, at `relative` below the root, into `walk`, within `budget`
// open folders; its own folders are walked apart. Answers whether everything
// opened was read whole.
bool walkSpread(FolderWalk& walk, Directory folder, const QString& relative, bool isFileSystemRoot,
                const CancelToken& cancel, std::size_t budget, int lonelyAbove)
{
    // Kept open for the subtrees, which are opened from it by name.
    const Directory kept = directoryOf(fcntl(dirfd(folder.get()), F_DUPFD_CLOEXEC, 0));
    std::deque<Subtree> subtrees;
    Walker walker(walk, cancel, budget, kept ? &subtrees : nullptr);
    const bool whole = walker.run(std::move(folder), isFileSystemRoot, relative);
    if (subtrees.empty()) {
        return whole;
    }
    return walkSubtrees(walk, dirfd(kept.get()), subtrees, cancel, budget - 1, lonelyAbove) && whole;
}

// Walks the folder `subtree` names inside the folder open as `folderFd`;
// spread again when it is a lone folder with room below it.
void walkSubtree(int folderFd, Subtree& subtree, const CancelToken& cancel, std::size_t budget, bool spread,
                 int lonelyAbove)
{
    FolderWalk& part = subtree.part;
    part.complete = true;
    Directory folder = directoryOf(
        openat(folderFd, subtree.rawName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder) {
        if (errno != ENOENT) { // ENOENT: gone since it was listed
            part.unopenedFolders.append(subtree.relative);
        }
        return;
    }
    if (spread) {
        part.complete = walkSpread(part, std::move(folder), subtree.relative, false, cancel, budget, lonelyAbove + 1);
        return;
    }
    Walker walker(part, cancel, budget);
    part.complete = walker.run(std::move(folder), false, subtree.relative);
}

// Walks `subtrees`, the folders of the folder open as `folderFd`, several at
// a time, each within its share of `budget`, and splices what they found
// into `walk` in the order of a walk on one thread. Answers whether each was
// read whole.
bool walkSubtrees(FolderWalk& walk, int folderFd, std::deque<Subtree>& subtrees, const CancelToken& cancel,
                  std::size_t budget, int lonelyAbove)
{
    const std::size_t cores = static_cast<std::size_t>(std::max(1, QThread::idealThreadCount()));
    const std::size_t width = std::clamp<std::size_t>(budget / fewestLevels, 1, cores);
    const std::size_t share = budget / width;
    const bool spread = subtrees.size() == 1 && lonelyAbove < lonelyFolders && budget > 2 * fewestLevels;
    std::vector<std::function<void()>> jobs;
    for (Subtree& subtree : subtrees) {
        jobs.push_back([&subtree, &cancel, folderFd, share, spread, lonelyAbove] {
            walkSubtree(folderFd, subtree, cancel, share, spread, lonelyAbove);
        });
    }
    runInParallel(jobs, static_cast<int>(width));

    WalkedFiles ownFiles = std::exchange(walk.files, WalkedFiles(walk.files.root()));
    const QStringList ownUnopened = std::exchange(walk.unopenedFolders, {});
    std::size_t filesDone = 0;
    qsizetype unopenedDone = 0;
    bool whole = true;
    for (Subtree& subtree : subtrees) {
        walk.files.append(ownFiles, filesDone, subtree.filesBefore);
        walk.unopenedFolders += ownUnopened.mid(unopenedDone, subtree.unopenedBefore - unopenedDone);
        filesDone = subtree.filesBefore;
        unopenedDone = subtree.unopenedBefore;
        walk.files.append(subtree.part.files, 0, subtree.part.files.size());
        subtree.part.files = WalkedFiles(); // its copy is in the walk now
        walk.unopenedFolders += subtree.part.unopenedFolders;
        whole = whole && subtree.part.complete;
    }
    walk.files.append(ownFiles, filesDone, ownFiles.size());
    walk.unopenedFolders += ownUnopened.mid(unopenedDone);
    return whole;
}

} // namespace

WalkedFiles::WalkedFiles(QString root) : root_(std::move(root)) {}

void WalkedFiles::append(const WalkedFiles& other, std::size_t first, std::size_t end)
{
    for (std::size_t index = first; index < end; ++index) {
        Record record = other.records_[index];
        record.relative = arena_.append(other.arena_.view(record.relative, record.size)).place;
        records_.push_back(record);
    }
}

void WalkedFiles::append(QStringView relative, const FileValues& values)
{
    constexpr double missingDate = std::numeric_limits<double>::quiet_NaN();
    const TextArena::Appended text = arena_.append(relative);
    records_.push_back({text.place, text.size, values.contentModificationDate.value_or(missingDate),
                        values.creationDate.value_or(missingDate), values.fileSize.value_or(-1)});
}

WalkedFile WalkedFiles::operator[](std::size_t index) const
{
    WalkedFile file;
    const std::string_view relative = relativeBytes(index);
    file.relative = fileNameText(QByteArrayView(relative.data(), static_cast<qsizetype>(relative.size())));
    file.path = root_ + u'/' + file.relative;
    file.values = values(index);
    return file;
}

std::string_view WalkedFiles::relativeBytes(std::size_t index) const
{
    const Record& record = records_[index];
    return arena_.view(record.relative, record.size);
}

FileValues WalkedFiles::values(std::size_t index) const
{
    const Record& record = records_[index];
    FileValues values;
    if (!std::isnan(record.modified)) {
        values.contentModificationDate = record.modified;
    }
    if (!std::isnan(record.created)) {
        values.creationDate = record.created;
    }
    if (record.fileSize >= 0) {
        values.fileSize = record.fileSize;
    }
    return values;
}

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

FolderWalk walkFolder(const QString& root, const CancelToken& cancel)
{
    FolderWalk walk;
    const QByteArray encodedRoot = fileNameBytes(root);
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(encodedRoot.constData(), nullptr), &std::free);
    if (!resolved) {
        return walk;
    }
    Directory rootFolder = directoryOf(open(resolved.get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::optional<FolderIdentity> rootIdentity =
        rootFolder ? folderIdentityAt(dirfd(rootFolder.get()), "", AT_EMPTY_PATH) : std::nullopt;
    if (!rootIdentity) {
        return walk;
    }
    walk.opened = true;
    walk.rootPath = fileNameText(resolved.get());
    walk.rootIdentity = *rootIdentity;

    QString walkedRoot = root;
    while (walkedRoot.endsWith(u'/')) {
        walkedRoot.chop(1); // "/" itself becomes "", so its files read "/name"
    }
    walk.files = WalkedFiles(walkedRoot);
    // The root's own folders are walked apart, on several threads: listing
    // and looking at a million files is most of a rescan.
    const bool whole = walkSpread(walk, std::move(rootFolder), {}, walk.rootPath == u"/", cancel,
                                  openFolderBudget(), 0);
    walk.complete = whole && !cancel.isCancelled();
    return walk;
}

} // namespace pivra
