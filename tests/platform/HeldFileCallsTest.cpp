// Threads held in calls on files, against real waits: a share whose FUSE
// server is stopped, locks, pipes, sockets and a terminal. What counts as
// held, and what the background releaser's end waits for because of it.
#include "platform/runtime/threads/BackgroundReleaser.h"
#include "platform/runtime/threads/FileCalls.h"
#include "platform/runtime/threads/FileCallsInFlight.h"
#include "platform/runtime/threads/HeldFileCalls.h"

#include "platform/folders/FileNameText.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"

#include <QTest>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

// Paths as text in test failures.
static void PrintTo(const QByteArray& path, std::ostream* out)
{
    *out << '"' << path.toStdString() << '"';
}

namespace pivra {
namespace {

using namespace std::chrono_literals;
using Files = std::vector<QByteArray>;

constexpr int waitMs = 30000;

// A share served by FUSE from "disk", which a test may stop, and a local
// file beside it.
class HeldFileCallsTest : public test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        writeFile(QStringLiteral("disk/look.mp4"), "v");
        writeFile(QStringLiteral("disk/other.mp4"), "v");
        writeFile(QStringLiteral("disk/read.mp4"), QByteArray(1 << 20, 'v'));
        writeFile(QStringLiteral("disk/lock"), {});
        local = fileNameBytes(writeFile(QStringLiteral("local/lock"), {}));
        share = makeFolder(QStringLiteral("share"));
        // Uncached, so that every look at a file asks the server.
        if (!mounts.bindThroughFuse(pathOf(QStringLiteral("disk")), share, test::TestMounts::FuseLookups::uncached)) {
            GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
        }
    }

    QByteArray onShare(const char* name) const { return fileNameBytes(QString(share + u'/' + QLatin1String(name))); }

    // A test that holds a file of a share open stops that share once at
    // most: as TestMounts stops a share it forks a guard, which closes the
    // descriptors it was handed, and a close waits for the share to answer.
    // Stopped again meanwhile, the share would hold the guard, and with it
    // the test waiting for the guard to go.
    void stopShare(const QString& point)
    {
        ASSERT_TRUE(mounts.hang(point, std::chrono::minutes(2))) << qPrintable(mounts.failure());
    }
    void stopShare() { stopShare(share); }

    // `call` made on a thread of its own: whether it was seen held in it, on
    // `file`, within the wait.
    static bool heldIn(std::thread& caller, std::function<void()> call, const QByteArray& file)
    {
        caller = std::thread(std::move(call));
        return QTest::qWaitFor([&] { return fileCallInFlight({file}); }, waitMs);
    }

    test::TestMounts mounts;
    QString share;
    QByteArray local;
};

void lookAt(const QByteArray& file)
{
    struct stat status {};
    ::stat(file.constData(), &status);
}

void lockFile(const QByteArray& file)
{
    const int descriptor = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    ::flock(descriptor, LOCK_EX);
    ::close(descriptor);
}

void readByte(int descriptor)
{
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(descriptor, &byte, 1);
}

void writeLine(int descriptor)
{
    [[maybe_unused]] const ssize_t written = ::write(descriptor, "x\n", 2);
}

// An open descriptor that closes with the test.
struct Descriptor {
    int value = -1;
    ~Descriptor()
    {
        if (value >= 0) {
            ::close(value);
        }
    }
};

// A call on a file of a network or FUSE filesystem, held two looks running
// without having run between them; no call on a local file, a pipe, a
// socket or a device.
TEST_F(HeldFileCallsTest, OnlyACallOnAFileOfAShareCountsAsHeld)
{
    const QString readShare = makeFolder(QStringLiteral("read share"));
    ASSERT_TRUE(mounts.bindThroughFuse(pathOf(QStringLiteral("disk")), readShare)) << qPrintable(mounts.failure());
    const QByteArray read = fileNameBytes(QString(readShare + QStringLiteral("/read.mp4")));
    Descriptor readable{::open(read.constData(), O_RDONLY | O_CLOEXEC)};
    Descriptor lockedHere{::open(local.constData(), O_RDONLY | O_CLOEXEC)};
    Descriptor lockedThere{::open(onShare("lock").constData(), O_RDONLY | O_CLOEXEC)};
    // Opened beforehand, so that the thread is seen only in its lock.
    Descriptor lockingHere{::open(local.constData(), O_RDONLY | O_CLOEXEC)};
    Descriptor lockingThere{::open(onShare("lock").constData(), O_RDONLY | O_CLOEXEC)};
    int pipeEnds[2];
    int socketEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    const Descriptor pipeIn{pipeEnds[0]}, pipeOut{pipeEnds[1]};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, socketEnds), 0);
    const Descriptor socketIn{socketEnds[0]}, socketOut{socketEnds[1]};
    Descriptor terminal{::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)};
    ASSERT_TRUE(terminal.value >= 0 && ::grantpt(terminal.value) == 0 && ::unlockpt(terminal.value) == 0);
    Descriptor terminalIn{::open(::ptsname(terminal.value), O_RDWR | O_NOCTTY | O_CLOEXEC)};
    ASSERT_TRUE(readable.value >= 0 && lockedHere.value >= 0 && lockedThere.value >= 0 && lockingHere.value >= 0
                && lockingThere.value >= 0 && terminalIn.value >= 0);
    ASSERT_EQ(::flock(lockedHere.value, LOCK_EX), 0);
    ASSERT_EQ(::flock(lockedThere.value, LOCK_EX), 0);

    const struct {
        const char* name;
        QByteArray file; // as the kernel spells it
        QString stops;   // the share stopped meanwhile
        std::function<void()> call; // held until let go
        std::function<void()> letGo;
        bool held;
    } rows[] = {
        {"a look at a file of a stopped share", onShare("look.mp4"), share, [&] { lookAt(onShare("look.mp4")); },
         [&] { mounts.resume(share); }, true},
        {"a read of a file of a stopped share", read, readShare,
         [&] {
             char byte = 0;
             [[maybe_unused]] const ssize_t got = ::pread(readable.value, &byte, 1, 512 * 1024);
         },
         [&] { mounts.resume(readShare); }, true},
        {"a lock of a file of a share", onShare("lock"), {}, [&] { ::flock(lockingThere.value, LOCK_EX); },
         [&] { ::flock(lockedThere.value, LOCK_UN); }, true},
        {"a lock of a file of a local disk", local, {}, [&] { ::flock(lockingHere.value, LOCK_EX); },
         [&] { ::flock(lockedHere.value, LOCK_UN); }, false},
        {"a read of a pipe", descriptorTarget(pipeIn.value), {}, [&] { readByte(pipeIn.value); },
         [&] { writeLine(pipeOut.value); }, false},
        {"a read of a socket", descriptorTarget(socketIn.value), {}, [&] { readByte(socketIn.value); },
         [&] { writeLine(socketOut.value); }, false},
        {"a read of a terminal", descriptorTarget(terminalIn.value), {}, [&] { readByte(terminalIn.value); },
         [&] { writeLine(terminal.value); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.stops.isEmpty()) {
            ASSERT_NO_FATAL_FAILURE(stopShare(row.stops));
        }
        HeldFileCalls looks;
        std::thread caller;
        const bool inCall = heldIn(caller, row.call, row.file);
        const Files first = looks.lookAgain({row.file});
        const Files second = looks.lookAgain({row.file});
        const Files otherFile = looks.lookAgain({onShare("other.mp4")});
        row.letGo();
        caller.join();
        ASSERT_TRUE(inCall);
        EXPECT_EQ(first, Files()) << "the first look finds none";
        EXPECT_EQ(second, row.held ? Files{row.file} : Files());
        EXPECT_EQ(otherFile, Files()) << "only the files looked for count";
    }
}

// A thread seen in the same call at two looks, that answered meanwhile and
// made the call again, is not held: only one that could not run is.
TEST_F(HeldFileCallsTest, AThreadThatRanBetweenTwoLooksIsNotHeld)
{
    const QByteArray file = onShare("look.mp4");
    std::mutex mutex;
    std::condition_variable changed;
    int allowed = 1;
    int answered = 0;
    const auto allow = [&](int calls) {
        const std::lock_guard guard(mutex);
        allowed = calls;
        changed.notify_all();
    };
    ASSERT_NO_FATAL_FAILURE(stopShare());
    std::thread caller;
    const bool firstHeld = heldIn(
        caller,
        [&] {
            for (int call = 1; call <= 2; ++call) {
                std::unique_lock guard(mutex);
                changed.wait(guard, [&] { return allowed >= call; });
                guard.unlock();
                lookAt(file);
                guard.lock();
                ++answered;
                changed.notify_all();
            }
        },
        file);
    HeldFileCalls looks;
    Files seen[4];
    seen[0] = looks.lookAgain({file});
    seen[1] = looks.lookAgain({file});
    mounts.resume(share);
    {
        std::unique_lock guard(mutex);
        changed.wait(guard, [&] { return answered == 1; });
    }
    stopShare();
    allow(2);
    const bool secondHeld = QTest::qWaitFor([&] { return fileCallInFlight({file}); }, waitMs);
    seen[2] = looks.lookAgain({file});
    seen[3] = looks.lookAgain({file});
    mounts.resume(share);
    caller.join();
    ASSERT_TRUE(firstHeld && secondHeld);
    EXPECT_EQ(seen[1], Files{file});
    EXPECT_EQ(seen[2], Files()) << "it ran since the last look";
    EXPECT_EQ(seen[3], Files{file});
}

using BackgroundReleaserTest = HeldFileCallsTest;

// Something let go of that ends by `ending`, and says when it has ended.
struct Ending {
    std::shared_ptr<std::atomic<bool>> ended = std::make_shared<std::atomic<bool>>(false);

    std::shared_ptr<void> object(std::function<void()> ending) const
    {
        return std::shared_ptr<void>(nullptr, [ending = std::move(ending), ended = ended](void*) {
            ending();
            ended->store(true);
        });
    }
};

void takeItsTime()
{
    std::this_thread::sleep_for(600ms);
}

// The end waits for a release that merely takes its time, whatever other
// thread stays held on a share meanwhile, and whatever a slow local disk
// holds the release's own thread in.
TEST_F(BackgroundReleaserTest, TheEndWaitsForAReleaseThatIsOnlySlow)
{
    Descriptor locked{::open(local.constData(), O_RDONLY | O_CLOEXEC)};
    ASSERT_TRUE(locked.value >= 0 && ::flock(locked.value, LOCK_EX) == 0);
    const struct {
        const char* name;
        Files reads;
        std::function<void()> ending;
    } rows[] = {
        {"reading nothing", {}, &takeItsTime},
        {"reading a file of the share no thread is held on", {onShare("other.mp4")}, &takeItsTime},
        // The lock stands for a disk that keeps a read waiting.
        {"held in a call on a local file", {local},
         [&] {
             std::thread([&] {
                 takeItsTime();
                 ::flock(locked.value, LOCK_UN);
             }).detach();
             lockFile(local);
         }},
    };
    const QByteArray held = onShare("look.mp4");
    ASSERT_NO_FATAL_FAILURE(stopShare());
    std::thread unrelated;
    ASSERT_TRUE(heldIn(unrelated, [&] { lookAt(held); }, held));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        BackgroundReleaser releaser;
        const Ending slow;
        releaser.release(slow.object(row.ending), row.reads);
        releaser.finish();
        EXPECT_TRUE(slow.ended->load()) << "the end did not wait";
    }
    mounts.resume(share);
    unrelated.join();
}

// A release whose thread, or a thread it waits for (as a player waits for
// its streaming thread), stays held in a call on a file it reads from a
// share that stopped answering is not waited for; one that is only slow
// beside it still is.
TEST_F(BackgroundReleaserTest, TheEndDoesNotWaitForAReleaseHeldOnAShare)
{
    const QByteArray file = onShare("look.mp4");
    const struct {
        const char* name;
        std::function<void()> ending;
    } rows[] = {
        {"held itself", [&] { lookAt(file); }},
        {"waiting for a thread that is held", [&] { std::thread([&] { lookAt(file); }).join(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(stopShare());
        BackgroundReleaser releaser;
        const Ending held;
        const Ending slow;
        releaser.release(held.object(row.ending), {file});
        releaser.release(slow.object(&takeItsTime));
        const bool seenHeld = QTest::qWaitFor([&] { return fileCallInFlight({file}); }, waitMs);
        releaser.finish();
        const bool endedFirst = held.ended->load();
        const bool slowEnded = slow.ended->load();
        mounts.resume(share);
        releaser.finish();
        ASSERT_TRUE(seenHeld);
        EXPECT_FALSE(endedFirst) << "the end waited for the share";
        EXPECT_TRUE(slowEnded) << "the end did not wait for the slow release";
        EXPECT_TRUE(held.ended->load()) << "the end did not wait once the share answered";
    }
}

} // namespace
} // namespace pivra
