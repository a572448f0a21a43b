#include "support/system/TestMounts.h"

#include "platform/folders/FileNameText.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pivra::test {

// A mount that does not answer, the thread that makes it answer again after
// the longest hold, and a process that does so should this one die first (a
// crash, or the test runner's timeout): a server left stopped would hold
// every call into the mount, other programs' too, until someone found it.
struct TestMounts::Hang {
    Hang(int server, const QString& point, std::chrono::milliseconds longest) : server(server)
    {
        guardAgainstOurDeath(fileNameBytes(point));
        ::kill(server, SIGSTOP);
        watchdog = std::thread([this, longest] {
            std::unique_lock lock(mutex);
            if (!woken.wait_for(lock, longest, [this] { return resumed; })) {
                byItself = true;
            }
            resumed = true;
            ::kill(this->server, SIGCONT);
        });
    }
    ~Hang()
    {
        resume();
        if (guard > 0) {
            // Anything written tells the guard that all went well.
            [[maybe_unused]] const ssize_t written = ::write(toGuard, "", 1);
            ::close(toGuard);
            ::waitpid(guard, nullptr, 0);
        }
    }

    void resume()
    {
        {
            const std::lock_guard lock(mutex);
            resumed = true;
        }
        woken.notify_all();
        if (watchdog.joinable()) {
            watchdog.join();
        }
    }

    // The guard waits on a pipe whose other end only this process holds:
    // the end of the pipe without a word means this process is gone, and the
    // guard lets the server go on and takes the mount away. It only calls
    // what a child of a threaded process may. The server is stopped only
    // once the guard has closed the descriptors it was born with: closing a
    // file of the mount flushes it, which would wait for the stopped server.
    void guardAgainstOurDeath(const QByteArray& point)
    {
        int ends[2];
        int ready[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            ::close(ends[0]);
            ::close(ends[1]);
            return;
        }
        guard = ::fork();
        if (guard == 0) {
            const int fromParent = ends[0];
            const int toParent = ready[1];
            const int low = std::min(fromParent, toParent);
            const int high = std::max(fromParent, toParent);
            ::close_range(high + 1, ~0U, 0);
            if (high > low + 1) {
                ::close_range(low + 1, high - 1, 0);
            }
            if (low > 0) {
                ::close_range(0, low - 1, 0);
            }
            ::close(toParent);
            char word = 0;
            ssize_t got = 0;
            while ((got = ::read(fromParent, &word, 1)) < 0 && errno == EINTR) {
            }
            if (got == 0) {
                ::kill(server, SIGCONT);
                ::umount2(point.constData(), MNT_DETACH);
            }
            ::_exit(0);
        }
        ::close(ends[0]);
        ::close(ready[1]);
        toGuard = ends[1];
        if (guard < 0) {
            ::close(toGuard);
        } else {
            // The guard's end of `ready` closes with the others it closed.
            char word = 0;
            while (::read(ready[0], &word, 1) < 0 && errno == EINTR) {
            }
        }
        ::close(ready[0]);
    }

    const int server;
    pid_t guard = -1;
    int toGuard = -1;
    std::mutex mutex;
    std::condition_variable woken;
    bool resumed = false;
    std::atomic<bool> byItself = false;
    std::thread watchdog;
};

TestMounts::TestMounts() = default;

TestMounts::~TestMounts()
{
    // A server still stopped would hold the unmount and every call waiting
    // on it.
    hangs_.clear();
    while (!mounted_.isEmpty()) {
        umount2(fileNameBytes(mounted_.takeLast()).constData(), MNT_DETACH);
    }
    // A device still held by a lazily unmounted filesystem is let go by the
    // kernel once that goes.
    while (!attached_.isEmpty()) {
        run(QStringLiteral("losetup"), {QStringLiteral("--detach"), attached_.takeLast()});
    }
}

bool TestMounts::mountTmpfs(const QString& point, const QString& source, const QString& options)
{
    const QByteArray data = options.toUtf8();
    return mountCall(point,
                     mount(fileNameBytes(source).constData(), fileNameBytes(point).constData(), "tmpfs", 0,
                           data.isEmpty() ? nullptr : data.constData()),
                     "mount a tmpfs");
}

bool TestMounts::bind(const QString& from, const QString& point)
{
    return mountCall(point,
                     mount(fileNameBytes(from).constData(), fileNameBytes(point).constData(), nullptr, MS_BIND,
                           nullptr),
                     "bind-mount");
}

bool TestMounts::bindThroughFuse(const QString& from, const QString& point, FuseLookups lookups,
                                 const QString& subtype)
{
    QString options = lookups == FuseLookups::cached ? QStringLiteral("nonempty")
                                                      : QStringLiteral("nonempty,entry_timeout=0,attr_timeout=0");
    if (!subtype.isEmpty()) {
        options += QStringLiteral(",subtype=") + subtype;
    }
    return mountFuse(QStringLiteral("bindfs"), {QStringLiteral("-o"), options, from, point}, point);
}

bool TestMounts::shareThroughFuse(const QString& from, const QString& point, const QString& source,
                                  const QString& subtype)
{
    return mountFuse(QStringLiteral("unionfs"),
                     {QStringLiteral("-o"), QStringLiteral("fsname=%1,subtype=%2").arg(source, subtype),
                      from + QStringLiteral("=RW"), point},
                     point);
}

bool TestMounts::mountFuse(const QString& program, const QStringList& arguments, const QString& point)
{
    if (!run(program, arguments)) {
        return false;
    }
    mounted_.append(point);
    // The server went into the background: found by its arguments (the
    // program's own name may be given as a path).
    const QByteArray tail = '\0' + arguments.join(QChar(0)).toUtf8() + '\0';
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile line(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (entry.toInt() <= 0 || !line.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray command = line.read(64 * 1024);
        if (command.endsWith(tail) && command.left(command.indexOf('\0')).endsWith(program.toUtf8())) {
            fuseServers_[point] = entry.toInt();
        }
    }
    return true;
}

bool TestMounts::hang(const QString& point, std::chrono::milliseconds longest)
{
    const auto server = fuseServers_.find(point);
    if (server == fuseServers_.end()) {
        failure_ = QStringLiteral("no FUSE server of ours serves %1").arg(point);
        return false;
    }
    hangs_[point] = std::make_unique<Hang>(server->second, point, longest);
    return true;
}

void TestMounts::resume(const QString& point)
{
    if (const auto hang = hangs_.find(point); hang != hangs_.end()) {
        hang->second->resume();
    }
}

bool TestMounts::resumedByItself(const QString& point) const
{
    const auto hang = hangs_.find(point);
    return hang != hangs_.end() && hang->second->byItself;
}

bool TestMounts::makeExt4Image(const QString& image, const QString& uuid, bool birthTimes)
{
    // Inodes of 256 bytes, as on any disk of some size: the 128 bytes mkfs
    // gives a filesystem this small leave no room for birth times.
    return run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-I"),
                                             birthTimes ? QStringLiteral("256") : QStringLiteral("128"),
                                             QStringLiteral("-U"), uuid, image, QStringLiteral("8M")});
}

std::optional<QString> TestMounts::replaceImage(const QString& device, const QString& image)
{
    if (!run(QStringLiteral("losetup"), {QStringLiteral("--detach"), device})) {
        return std::nullopt;
    }
    attached_.removeAll(device);
    if (run(QStringLiteral("losetup"), {device, image})) {
        attached_.append(device);
        return device;
    }
    return attach(image);
}

std::optional<QString> TestMounts::attach(const QString& image)
{
    QString device;
    if (!run(QStringLiteral("losetup"), {QStringLiteral("--find"), QStringLiteral("--show"), image}, &device)) {
        return std::nullopt;
    }
    attached_.append(device);
    return device;
}

bool TestMounts::mountExt4(const QString& device, const QString& point)
{
    return mountCall(point,
                     mount(fileNameBytes(device).constData(), fileNameBytes(point).constData(), "ext4", 0,
                           nullptr),
                     "mount an ext4 image");
}

bool TestMounts::unmount(const QString& point)
{
    if (umount2(fileNameBytes(point).constData(), MNT_DETACH) != 0) {
        const int error = errno;
        failure_ = QStringLiteral("cannot unmount %1: %2").arg(point, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    if (const qsizetype index = mounted_.lastIndexOf(point); index >= 0) {
        mounted_.removeAt(index);
    }
    return true;
}

bool TestMounts::run(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        failure_ = QStringLiteral("%1 %2 failed: %3%4")
                       .arg(program, arguments.join(u' '), process.errorString(),
                            QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    if (output != nullptr) {
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }
    return true;
}

bool TestMounts::mountCall(const QString& point, int result, const char* what)
{
    const int error = errno;
    if (result != 0) {
        failure_ = QStringLiteral("cannot %1 at %2: %3")
                       .arg(QLatin1String(what), point, QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    mounted_.append(point);
    return true;
}

} // namespace pivra::test
