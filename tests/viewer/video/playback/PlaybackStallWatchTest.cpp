// The stall watch against real waits: a player silent for the limit stalls;
// one that moves on, or whose time went to waiting for a processor or for
// its file on a share that does not answer (whatever call on the file holds
// it), does not, and stalls once it is silent after all.
#include "viewer/video/playback/PlaybackStallWatch.h"

#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/FileCallsInFlight.h"
#include "support/system/ProcessorStarvation.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"
#include "support/system/TimerOrder.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pivra {
namespace {

constexpr std::chrono::milliseconds limit{1000};
// Each waiting row lasts this long: several limits.
constexpr std::chrono::milliseconds stretch{4 * limit};
constexpr int waitMs = 30000;

class PlaybackStallWatchTest : public test::TempFolderTest {
protected:
    // Runs `call` on a thread of its own while the share at `share` does not
    // answer, for `stretch`, once the call is seen held in the kernel; false
    // when it never was.
    bool heldOnShare(const QString& share, const QByteArray& file, const std::function<void()>& call)
    {
        if (!mounts.hang(share, std::chrono::minutes(2))) {
            return false;
        }
        std::atomic<bool> returned = false;
        std::thread caller([&] {
            call();
            returned = true;
        });
        const bool held = QTest::qWaitFor([&] { return fileCallInFlight({file}); }, waitMs);
        watch.progressed();
        QTest::qWait(int(stretch.count()));
        mounts.resume(share);
        caller.join();
        return held && returned;
    }

    test::TestMounts mounts;
    PlaybackStallWatch watch{limit};
};

TEST_F(PlaybackStallWatchTest, CountsOnlyTheTimeInWhichThePlayerCouldHaveMovedOn)
{
    const QString share = makeFolder(QStringLiteral("share"));
    writeFile(QStringLiteral("disk/opened.mp4"), QByteArray(1 << 20, 'v'));
    writeFile(QStringLiteral("disk/read.mp4"), QByteArray(1 << 20, 'v'));
    // Uncached, so that a stat or a seek to the end of the open file asks
    // the share each time, as the player's do of a share whose answers
    // have aged.
    if (!mounts.bindThroughFuse(pathOf(QStringLiteral("disk")), share, test::TestMounts::FuseLookups::uncached)) {
        GTEST_SKIP() << "cannot mount here: " << qPrintable(mounts.failure());
    }
    const QByteArray opened = fileNameBytes(QString(share + QStringLiteral("/opened.mp4")));
    const QByteArray read = fileNameBytes(QString(share + QStringLiteral("/read.mp4")));
    const int readable = ::open(read.constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readable, 0);

    QSignalSpy stalls(&watch, &PlaybackStallWatch::stalled);
    QSignalSpy waits(&watch, &PlaybackStallWatch::waitingForFile);
    struct Case {
        const char* name;
        std::function<void()> meanwhile; // with progress owed
        bool stalls;
        bool waitsForFile = false; // told to wait, and then to go on
    };
    const Case cases[] = {
        {"silent", [&] { EXPECT_TRUE(QTest::qWaitFor([&] { return !stalls.isEmpty(); }, waitMs)); }, true},
        {"moving on",
         [&] {
             QTimer moves;
             QObject::connect(&moves, &QTimer::timeout, &watch, &PlaybackStallWatch::progressed);
             moves.start(100);
             QTest::qWait(int(stretch.count()));
         },
         false},
        {"waiting for a processor",
         [&] {
             test::runStarved(stretch);
             // The watch's tick, overdue since the stretch began, looks at
             // the stretch before a timer started now fires.
             EXPECT_TRUE(test::outlastTimers(std::chrono::milliseconds(250)));
         },
         false},
        {"waiting for its file to open",
         [&] {
             ASSERT_TRUE(heldOnShare(share, opened, [&] { ::close(::open(opened.constData(), O_RDONLY)); }));
         },
         false, true},
        {"waiting for a read of its file",
         [&] {
             ASSERT_TRUE(heldOnShare(share, read, [&] {
                 char byte = 0;
                 [[maybe_unused]] const ssize_t got = ::pread(readable, &byte, 1, 512 * 1024);
             }));
         },
         false, true},
        // glibc's fstat calls newfstatat with the descriptor and no path.
        {"waiting for a stat of its open file",
         [&] {
             ASSERT_TRUE(heldOnShare(share, read, [&] {
                 struct stat status {};
                 ::fstat(readable, &status);
             }));
         },
         false, true},
        {"waiting for a seek to its end",
         [&] { ASSERT_TRUE(heldOnShare(share, read, [&] { ::lseek(readable, 0, SEEK_END); })); }, false, true},
    };
    watch.watchReadsOf({opened, read});
    for (const Case& row : cases) {
        stalls.clear();
        waits.clear();
        watch.expect(true);
        row.meanwhile();
        EXPECT_EQ(stalls.size(), row.stalls ? 1 : 0) << row.name;
        EXPECT_TRUE(QTest::qWaitFor([&] { return !stalls.isEmpty(); }, waitMs)) << row.name << ": silent after";
        QList<bool> told;
        for (const QList<QVariant>& call : waits) {
            told.append(call.at(0).toBool());
        }
        const QList<bool> toldWhenWaiting{true, false};
        EXPECT_EQ(told, row.waitsForFile ? toldWhenWaiting : QList<bool>()) << row.name;
        watch.expect(false);
    }
    ::close(readable);
}

} // namespace
} // namespace pivra
