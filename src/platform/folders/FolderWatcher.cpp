#include "platform/folders/FolderWatcher.h"

#include "platform/folders/FileNameText.h"
#include "platform/runtime/MainThread.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/Task.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <QtGlobal>

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace pivra {
namespace {

const QString hiddenFolderName = QStringLiteral(".pivra");

constexpr uint32_t folderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// What the GUI thread shares with a walk on the pool. A walk holds this, never
// the watcher, so it may outlive the watcher harmlessly. The descriptor is
// closed and `stopped` set under the lock, so a walk can never add a watch to a
// closed descriptor whose number has been handed out again.
struct Watches {
    std::mutex lock;
    int fd = -1;
    bool stopped = false;
    bool limitLogged = false;
    QHash<int, QString> folders; // watch descriptor -> absolute folder path
    // Folders left unwatched for the system's limit, not yet told to the
    // GUI thread, and how to tell it that some are.
    QStringList unwatched;
    std::function<void()> unwatchedFound;
    // The tops of walks whose own watch the limit refused at their last
    // try: there, not missing.
    QSet<QString> refusedTops;
    // Folders above a root that is missing, watched only for the root's way
    // back; a descriptor may be in both maps when a root lies in another's tree.
    QHash<int, QString> awaiting;
};

// Every watcher's watches, for the watches that matter more to take room
// from when the system's limit is reached.
std::mutex everyWatchesLock;
std::vector<std::weak_ptr<Watches>> everyWatches;

void registerWatches(const std::shared_ptr<Watches>& watches)
{
    const std::lock_guard guard(everyWatchesLock);
    std::erase_if(everyWatches, [](const std::weak_ptr<Watches>& each) { return each.expired(); });
    everyWatches.push_back(watches);
}

// Notes, with the lock held, that `folder` and what lies below it go
// unwatched; the GUI thread is told once the lock is let go.
bool noteUnwatched(Watches& watches, const QString& folder)
{
    watches.unwatched.append(folder);
    return watches.unwatched.size() == 1;
}

// A walk of the roots follows the link a root may be and watches every folder
// afresh, as after lost events; a walk of new folders leaves out those that
// another walk has entered already.
enum class Walk { roots, newFolders };

// Whether the walk should enter `folder`, the walk's top or a folder below
// it: its watch is set.
bool watchFolder(Watches& watches, const QString& folder, uint32_t mask, Walk walk, bool top)
{
    std::unique_lock guard(watches.lock);
    if (watches.stopped) {
        return false;
    }
    const int wd = inotify_add_watch(watches.fd, fileNameBytes(folder).constData(), mask);
    if (top) {
        watches.refusedTops.remove(folder);
    }
    if (wd < 0) {
        // Folders that vanished or cannot be read are simply not watched; the
        // user's watch limit leaves the trees watched in part.
        if (errno == ENOSPC) {
            if (top) {
                watches.refusedTops.insert(folder);
            }
            if (!std::exchange(watches.limitLogged, true)) {
                qWarning("pivra: the system's limit of folder watches (fs.inotify.max_user_watches) is reached; "
                         "changes in some folders are seen only at the next rescan");
            }
            if (noteUnwatched(watches, folder) && watches.unwatchedFound) {
                const std::function<void()> tell = watches.unwatchedFound;
                guard.unlock();
                tell();
            }
        }
        return false;
    }
    const auto known = watches.folders.constFind(wd);
    if (walk == Walk::newFolders && known != watches.folders.cend() && *known == folder) {
        return false;
    }
    watches.folders.insert(wd, folder);
    return true;
}

// The folders directly inside `folder`, not counting links and hidden folders.
QStringList subfolders(const QString& folder)
{
    QStringList names;
    const QByteArray encoded = fileNameBytes(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = fileNameText(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String("..") || name == hiddenFolderName) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            isFolder = ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder) {
            names.append(name);
        }
    }
    ::closedir(dir);
    return names;
}

// Watches each of `tops` and every folder below it, on the pool. A root is the
// folder the user chose, even when reached through a link; below it no link is
// followed. Each folder is watched before it is listed, so a folder made in it
// meanwhile is either listed or announced by an event.
void watchTrees(std::shared_ptr<Watches> watches, QStringList tops, Walk walk)
{
    constexpr uint32_t noLinks = folderEvents | IN_DONT_FOLLOW;
    for (const QString& top : tops) {
        std::vector<QString> pending{top};
        uint32_t mask = walk == Walk::roots ? folderEvents : noLinks;
        while (!pending.empty()) {
            const QString folder = std::move(pending.back());
            pending.pop_back();
            const bool entered = watchFolder(*watches, folder, mask, walk, folder == top);
            mask = noLinks;
            if (entered) {
                for (const QString& name : subfolders(folder)) {
                    pending.push_back(folder + QLatin1Char('/') + name);
                }
            }
        }
    }
}

constexpr uint32_t comingBackEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Watches the nearest folder above each of `missing` for the next step of
// the root's way back, then looks whether the root is there: a root made
// between the look and the watch would otherwise go unnoticed. Returns the
// roots that are there. On the pool, as any of these folders may hang.
QStringList awaitRoots(std::shared_ptr<Watches> watches, QStringList missing)
{
    QStringList back;
    for (const QString& root : missing) {
        for (QString above = QFileInfo(root).path(); !above.isEmpty(); above = QFileInfo(above).path()) {
            const std::lock_guard guard(watches->lock);
            if (watches->stopped) {
                return {};
            }
            // Added to, never narrowing, the watch of a folder inside a tree.
            const int wd = inotify_add_watch(watches->fd, fileNameBytes(above).constData(),
                                             comingBackEvents | IN_MASK_ADD);
            if (wd >= 0) {
                watches->awaiting.insert(wd, above);
                break;
            }
            if (above == QLatin1String("/")) {
                break;
            }
        }
        if (QFileInfo(root).isDir()) {
            back.append(root);
        }
    }
    return back;
}

bool isStopped(Watches& watches)
{
    const std::lock_guard guard(watches.lock);
    return watches.stopped;
}

// Lets go of up to `count` watches of `watches`, the deepest folders first,
// as they tell the least of the trees. How many it let go.
int yieldDeepest(Watches& watches, int count)
{
    std::unique_lock guard(watches.lock);
    if (watches.stopped || watches.folders.isEmpty()) {
        return 0;
    }
    QList<std::pair<int, int>> byDepth; // depth, watch
    byDepth.reserve(watches.folders.size());
    for (auto folder = watches.folders.cbegin(); folder != watches.folders.cend(); ++folder) {
        byDepth.append({int(folder.value().count(QLatin1Char('/'))), folder.key()});
    }
    const qsizetype yielded = std::min<qsizetype>(count, byDepth.size());
    std::partial_sort(byDepth.begin(), byDepth.begin() + yielded, byDepth.end(), std::greater<>());
    bool first = false;
    for (qsizetype index = 0; index < yielded; ++index) {
        const int wd = byDepth[index].second;
        inotify_rm_watch(watches.fd, wd);
        first = noteUnwatched(watches, watches.folders.take(wd)) || first;
    }
    if (first && watches.unwatchedFound) {
        const std::function<void()> tell = watches.unwatchedFound;
        guard.unlock();
        tell();
    }
    return int(yielded);
}

} // namespace

int yieldFolderWatches(int count)
{
    std::vector<std::shared_ptr<Watches>> live;
    {
        const std::lock_guard guard(everyWatchesLock);
        for (const std::weak_ptr<Watches>& each : everyWatches) {
            if (std::shared_ptr<Watches> watches = each.lock()) {
                live.push_back(std::move(watches));
            }
        }
    }
    int yielded = 0;
    for (const std::shared_ptr<Watches>& watches : live) {
        if (yielded >= count) {
            break;
        }
        yielded += yieldDeepest(*watches, count - yielded);
    }
    return yielded;
}

class FolderWatcher::Impl {
public:
    Impl(FolderWatcher& owner, const QStringList& roots, const QStringList& awaited,
         std::chrono::milliseconds latency);

    void stop();

private:
    void startWalk(const QStringList& tops, Walk walk, bool announce);
    Task<void> walkOnPool(quint64 id, QStringList tops, Walk walk, bool announce);
    Task<void> awaitOnPool(QStringList missing);
    void awaitMissing(const QStringList& roots);
    bool leadsToMissingRoot(const QString& path) const;
    void readEvents();
    void handle(const inotify_event& event);
    void forgetTree(const QString& top);
    void note(const QString& path);
    void flush();
    void report();
    void takeUnwatched();

    FolderWatcher& owner_;
    QStringList roots_;
    // Roots that are not there now, whose coming back is awaited, and the
    // paths among them that are only reported when they appear.
    QSet<QString> missing_;
    QSet<QString> awaitedOnly_;
    std::shared_ptr<Watches> watches_ = std::make_shared<Watches>();
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer batch_;
    QStringList pending_;
    QSet<QString> seen_;
    // The roots some of whose folders are not watched, for the limit.
    QSet<QString> partRoots_;
    // The walks under way, numbered in the order they began. A batch due
    // while walks are under way is held until those numbered below
    // `heldBefore_` have ended, so the folders it reports are watched by the
    // time it is signalled; walks begun later do not hold it further.
    std::set<quint64> walks_;
    quint64 nextWalk_ = 0;
    bool held_ = false;
    quint64 heldBefore_ = 0;
};

FolderWatcher::Impl::Impl(FolderWatcher& owner, const QStringList& roots, const QStringList& awaited,
                          std::chrono::milliseconds latency)
    : owner_(owner)
{
    assertMainThread();
    for (const QString& root : roots) {
        roots_.append(QDir::cleanPath(root));
    }
    batch_.setSingleShot(true);
    batch_.setInterval(latency);
    QObject::connect(&batch_, &QTimer::timeout, &owner_, [this] { flush(); });

    watches_->unwatchedFound = [back = GuiReturn(&owner_), this] { back.post([this] { takeUnwatched(); }); };
    registerWatches(watches_);
    watches_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watches_->fd < 0) {
        qWarning("pivra: cannot watch folders for changes: %s", std::strerror(errno));
    } else {
        notifier_ = std::make_unique<QSocketNotifier>(watches_->fd, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &owner_, [this] { readEvents(); });
    }
    startWalk(roots_, Walk::roots, true);
    QStringList paths;
    for (const QString& path : awaited) {
        paths.append(QDir::cleanPath(path));
        missing_.insert(paths.last());
        awaitedOnly_.insert(paths.last());
    }
    if (!paths.isEmpty()) {
        startTask(&owner_, awaitOnPool(paths));
    }
}

void FolderWatcher::Impl::startWalk(const QStringList& tops, Walk walk, bool announce)
{
    const quint64 id = nextWalk_++;
    walks_.insert(id);
    startTask(&owner_, walkOnPool(id, tops, walk, announce));
}

Task<void> FolderWatcher::Impl::walkOnPool(quint64 id, QStringList tops, Walk walk, bool announce)
{
    const QStringList walked = tops;
    co_await runOnPool(PoolPriority::utility, &watchTrees, watches_, std::move(tops), walk);
    walks_.erase(id);
    if (isStopped(*watches_)) {
        co_return;
    }
    if (walk == Walk::roots) {
        QStringList unwatched;
        {
            const std::lock_guard guard(watches_->lock);
            // A root the limit left unwatched is there: awaited as missing,
            // it would be found back, reported and walked again for ever.
            for (const QString& root : walked) {
                if (std::find(watches_->folders.cbegin(), watches_->folders.cend(), root) ==
                        watches_->folders.cend()
                    && !watches_->refusedTops.contains(root)) {
                    unwatched.append(root);
                }
            }
        }
        awaitMissing(unwatched);
    }
    if (announce) {
        Q_EMIT owner_.ready();
    }
    if (held_ && (walks_.empty() || *walks_.begin() >= heldBefore_)) {
        report();
    }
}

// A root that goes (deleted, moved away, unmounted) is watched again when a
// folder comes back at its path: the owner decides whether that is still the
// folder it meant.
void FolderWatcher::Impl::awaitMissing(const QStringList& roots)
{
    QStringList added;
    for (const QString& root : roots) {
        if (!missing_.contains(root)) {
            missing_.insert(root);
            added.append(root);
        }
    }
    if (!added.isEmpty()) {
        startTask(&owner_, awaitOnPool(added));
    }
}

// Reports the roots that are back and watches them again; an awaited path
// that is there is only reported.
Task<void> FolderWatcher::Impl::awaitOnPool(QStringList missing)
{
    const QStringList back = co_await runOnPool(PoolPriority::utility, &awaitRoots, watches_, std::move(missing));
    if (isStopped(*watches_)) {
        co_return;
    }
    QStringList walk;
    for (const QString& root : back) {
        if (!missing_.remove(root)) {
            continue;
        }
        note(root);
        if (!awaitedOnly_.remove(root)) {
            walk.append(root);
        }
    }
    if (!walk.isEmpty()) {
        startWalk(walk, Walk::roots, false);
    }
}

bool FolderWatcher::Impl::leadsToMissingRoot(const QString& path) const
{
    const QString below = path + QLatin1Char('/');
    return std::any_of(missing_.cbegin(), missing_.cend(),
                       [&](const QString& root) { return root == path || root.startsWith(below); });
}

void FolderWatcher::Impl::stop()
{
    batch_.stop();
    pending_.clear();
    seen_.clear();
    held_ = false;
    notifier_.reset(); // unregistered before its descriptor goes
    const std::lock_guard guard(watches_->lock);
    watches_->stopped = true;
    if (watches_->fd >= 0) {
        ::close(watches_->fd);
        watches_->fd = -1;
    }
}

void FolderWatcher::Impl::readEvents()
{
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t size = ::read(watches_->fd, buffer, sizeof buffer);
        if (size <= 0) {
            return;
        }
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            handle(*event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void FolderWatcher::Impl::handle(const inotify_event& event)
{
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        // Events were lost, folders made meanwhile among them: everything may
        // have changed, and the trees are watched afresh.
        for (const QString& root : roots_) {
            note(root);
        }
        startWalk(roots_, Walk::roots, false);
        return;
    }
    const bool letGo = (event.mask & IN_IGNORED) != 0;
    QString folder;
    QString above;
    {
        const std::lock_guard guard(watches_->lock);
        folder = letGo ? watches_->folders.take(event.wd) : watches_->folders.value(event.wd);
        above = letGo ? watches_->awaiting.take(event.wd) : watches_->awaiting.value(event.wd);
    }
    const QString name = event.len > 0 ? fileNameText(event.name) : QString();
    if (!above.isEmpty() && !missing_.isEmpty()) {
        // A step on a missing root's way back, or the folder watched for it
        // gone in turn: look again from the nearest folder that is there.
        const bool gone = letGo || (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0;
        if (gone || leadsToMissingRoot(above + QLatin1Char('/') + name)) {
            startTask(&owner_, awaitOnPool(QStringList(missing_.cbegin(), missing_.cend())));
        }
    }
    if (letGo && roots_.contains(folder)) {
        awaitMissing({folder});
    }
    if (folder.isEmpty() || letGo) {
        return; // an event of a watch already let go, or of one kept for a missing root
    }
    const QString path = name.isEmpty() ? folder : folder + QLatin1Char('/') + name;
    note(path);
    if ((event.mask & IN_ISDIR) != 0 && (event.mask & IN_MOVED_FROM) != 0) {
        forgetTree(path);
    } else if ((event.mask & IN_MOVE_SELF) != 0) {
        // Only a root gets here: a folder moved within the trees was let go
        // when it left its parent, so its own event finds no watch.
        forgetTree(folder);
        awaitMissing({folder});
    } else if ((event.mask & IN_ISDIR) != 0 && (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 &&
               name != hiddenFolderName) {
        startWalk({path}, Walk::newFolders, false);
    }
}

// Lets go of the watches of a folder that moved away, so its events are not
// reported under its old path; moved within the trees, it is watched afresh.
void FolderWatcher::Impl::forgetTree(const QString& top)
{
    const QString below = top + QLatin1Char('/');
    const std::lock_guard guard(watches_->lock);
    for (auto it = watches_->folders.begin(); it != watches_->folders.end();) {
        if (it.value() == top || it.value().startsWith(below)) {
            inotify_rm_watch(watches_->fd, it.key());
            it = watches_->folders.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderWatcher::Impl::note(const QString& path)
{
    if (seen_.contains(path)) {
        return;
    }
    seen_.insert(path);
    pending_.append(path);
    if (!batch_.isActive() && !held_) {
        batch_.start();
    }
}

void FolderWatcher::Impl::flush()
{
    if (!walks_.empty()) {
        held_ = true;
        heldBefore_ = nextWalk_;
        return;
    }
    report();
}

void FolderWatcher::Impl::takeUnwatched()
{
    QStringList folders;
    {
        const std::lock_guard guard(watches_->lock);
        folders = std::exchange(watches_->unwatched, {});
    }
    const qsizetype before = partRoots_.size();
    for (const QString& folder : std::as_const(folders)) {
        for (const QString& root : std::as_const(roots_)) {
            if (folder == root || folder.startsWith(root + QLatin1Char('/'))) {
                partRoots_.insert(root);
            }
        }
    }
    if (partRoots_.size() != before) {
        QStringList roots(partRoots_.cbegin(), partRoots_.cend());
        roots.sort();
        Q_EMIT owner_.partlyWatched(roots);
    }
}

void FolderWatcher::Impl::report()
{
    held_ = false;
    seen_.clear();
    const QStringList paths = std::exchange(pending_, {});
    Q_EMIT owner_.changed(paths);
}

FolderWatcher::FolderWatcher(const QStringList& roots, std::chrono::milliseconds latency, QObject* parent)
    : FolderWatcher(roots, {}, latency, parent)
{
}

FolderWatcher::FolderWatcher(const QStringList& roots, const QStringList& awaited, std::chrono::milliseconds latency,
                             QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(*this, roots, awaited, latency))
{
}

FolderWatcher::~FolderWatcher()
{
    stop();
}

void FolderWatcher::stop()
{
    impl_->stop();
}

} // namespace pivra
