#include "platform/folders/FolderWatcher.h"

#include "platform/folders/FolderIdentity.h"
#include "platform/runtime/Drain.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/system/TempFolder.h"
#include "support/system/WatchLimitChild.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// Long enough that the few writes of one step land in one batch.
constexpr auto latency = 300ms;

class FolderWatcherTest : public test::TempFolderTest {
protected:
    QStringList nextBatch(QSignalSpy& batches)
    {
        if (batches.isEmpty() && !batches.wait(60000)) {
            return {QStringLiteral("no batch")};
        }
        return batches.takeFirst().at(0).toStringList();
    }

    // Takes batches until every one of `paths` has been reported.
    bool reportsAll(QSignalSpy& batches, QStringList paths)
    {
        while (!paths.isEmpty()) {
            if (batches.isEmpty() && !batches.wait(60000)) {
                return false;
            }
            for (const QString& path : batches.takeFirst().at(0).toStringList()) {
                paths.removeAll(path);
            }
        }
        return true;
    }
};

TEST_F(FolderWatcherTest, ReportsEachPathOnceInTheOrderFirstSeenWhereTheFolderIsNow)
{
    makeFolder(QStringLiteral("a/sub"));
    QTemporaryDir outside;
    ASSERT_TRUE(QFile::link(outside.path(), pathOf(QStringLiteral("link"))));
    FolderWatcher watcher({root()}, latency);
    QSignalSpy ready(&watcher, &FolderWatcher::ready);
    QSignalSpy batches(&watcher, &FolderWatcher::changed);
    ASSERT_TRUE(ready.wait(60000));

    writeFile(QStringLiteral("a/sub/1.txt"), "1");
    writeFile(QStringLiteral("2.txt"), "2");
    writeFile(QStringLiteral("a/sub/1.txt"), "again");
    QFile(outside.filePath(QStringLiteral("behind-link.txt"))).open(QIODevice::WriteOnly);
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("a/sub/1.txt")), pathOf(QStringLiteral("2.txt"))}));

    ASSERT_TRUE(QDir(root()).rename(QStringLiteral("a"), QStringLiteral("b")));
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("a")), pathOf(QStringLiteral("b"))}));
    writeFile(QStringLiteral("b/sub/3.txt"), "3");
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("b/sub/3.txt"))}));

    // Moved out, a folder is no longer watched: a change made after its
    // file comes alone.
    ASSERT_TRUE(QDir().rename(pathOf(QStringLiteral("b")), outside.filePath(QStringLiteral("b"))));
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("b"))}));
    QFile(outside.filePath(QStringLiteral("b/sub/4.txt"))).open(QIODevice::WriteOnly);
    const QString after = writeFile(QStringLiteral("5.txt"), "5");
    EXPECT_EQ(nextBatch(batches), QStringList({after}));
}

// Made beside the watched root, so that one rename moves it in: 40 groups of
// 50 folders (2,041 with the top), each with two files.
void makeTree(const QString& top)
{
    for (int group = 0; group < 40; ++group) {
        for (int folder = 0; folder < 50; ++folder) {
            const QString path = top + QStringLiteral("/g%1/f%2").arg(group).arg(folder);
            ASSERT_TRUE(QDir().mkpath(path));
            QFile(path + QStringLiteral("/1.jpg")).open(QIODevice::WriteOnly);
            QFile(path + QStringLiteral("/2.jpg")).open(QIODevice::WriteOnly);
        }
    }
}

TEST_F(FolderWatcherTest, TakesInAMovedInTreeWithoutHoldingUpTheGuiThreadAndFollowsFoldersMadeMeanwhile)
{
    const QString watched = makeFolder(QStringLiteral("watched"));
    makeTree(pathOf(QStringLiteral("tree")));
    FolderWatcher watcher({watched}, latency);
    QSignalSpy ready(&watcher, &FolderWatcher::ready);
    QSignalSpy batches(&watcher, &FolderWatcher::changed);
    ASSERT_TRUE(ready.wait(60000));

    // Every 5 ms, until the move is reported, the GUI thread makes a folder in
    // another part of the tree as it is walked.
    QStringList made;
    QTimer ticks;
    ticks.setInterval(5ms);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        if (batches.isEmpty() && made.size() < 40) {
            made.append(watched + QStringLiteral("/tree/g%1/f%1/new").arg(made.size()));
            QDir().mkdir(made.last());
        }
    });
    ASSERT_TRUE(QDir(root()).rename(QStringLiteral("tree"), QStringLiteral("watched/tree")));
    const test::EventLoopWatch watch;
    ticks.start();
    ASSERT_TRUE(reportsAll(batches, {watched + QStringLiteral("/tree")}));
    ticks.stop();
    // Walked on the GUI thread, the tree takes it some 25 ms of processor
    // time. The time it is held up says nothing here on a busy machine: a
    // walker that lost its processor while holding the lock of a folder the
    // GUI thread makes one in, or of the watches it looks an event up in,
    // holds it up for as long.
    EXPECT_LT(watch.longestBusyMs(), 10 * test::EventLoopWatch::slowdown()) << "the walk ran on the GUI thread";

    // Once a change made after them is reported, the folders made are watched.
    ASSERT_TRUE(reportsAll(batches, {writeFile(QStringLiteral("watched/marker"), "m")}));
    QStringList files{writeFile(QStringLiteral("watched/tree/g39/f49/deep.jpg"), "d")};
    for (const QString& folder : made) {
        files.append(folder + QStringLiteral("/1.jpg"));
        QFile(files.last()).open(QIODevice::WriteOnly);
    }
    EXPECT_TRUE(reportsAll(batches, files));
}

// A root that goes away is watched again once a folder is back at its path,
// however it went and came: a file added then is reported.
TEST_F(FolderWatcherTest, ARootThatGoesAndComesBackIsWatchedAgain)
{
    const QString watched = pathOf(QStringLiteral("deep/watched"));
    const QString away = pathOf(QStringLiteral("away"));
    struct Way {
        const char* name;
        std::function<bool()> go; // none: missing from the start
        std::function<bool()> comeBack;
    };
    const std::vector<Way> ways{
        {"deleted and made anew", [&] { return QDir(watched).removeRecursively(); },
         [&] { return QDir().mkpath(watched); }},
        {"moved away and back", [&] { return QDir().rename(watched, away); },
         [&] { return QDir().rename(away, watched); }},
        {"its parent deleted too, then both made anew", [&] { return QDir(pathOf("deep")).removeRecursively(); },
         [&] { return QDir().mkpath(watched); }},
        {"missing from the start", nullptr, [&] { return QDir().mkpath(watched); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        QDir(pathOf(QStringLiteral("deep"))).removeRecursively();
        if (way.go) {
            ASSERT_TRUE(QDir().mkpath(watched));
        }
        FolderWatcher watcher({watched}, latency);
        QSignalSpy ready(&watcher, &FolderWatcher::ready);
        QSignalSpy batches(&watcher, &FolderWatcher::changed);
        ASSERT_TRUE(ready.wait(60000));
        if (way.go) {
            ASSERT_TRUE(way.go());
            ASSERT_TRUE(reportsAll(batches, {watched}));
        }
        ASSERT_TRUE(way.comeBack());
        ASSERT_TRUE(reportsAll(batches, {watched}));
        EXPECT_TRUE(reportsAll(batches, {writeFile(QStringLiteral("deep/watched/new.jpg"), "n")}));
    }
}

TEST_F(FolderWatcherTest, NothingIsSignalledAfterStop)
{
    makeFolder(QStringLiteral("a/b/c"));
    FolderWatcher watcher({root()}, latency);
    QSignalSpy ready(&watcher, &FolderWatcher::ready);
    QSignalSpy batches(&watcher, &FolderWatcher::changed);
    watcher.stop(); // before the first watches are set
    writeFile(QStringLiteral("a/b/c/1.txt"), "1");
    ASSERT_TRUE(drain()); // the walk under way has ended
    EXPECT_TRUE(ready.isEmpty());
    EXPECT_TRUE(batches.isEmpty());
}

// At the system's limit of watches the trees are watched in part, and the
// watcher says whose, a root left without any watch among them: it is there,
// not missing, so it is not looked for and walked again and again. The
// watches that prove a disk is still the one it was come first: folder
// watches make room for them, and changes in the root go on being reported.
TEST_F(FolderWatcherTest, AtTheWatchLimitTreesAreWatchedInPartAndDiskProofsStillFindRoom)
{
    PIVRA_UNDER_WATCH_LIMIT(40)
    const QString watched = makeFolder(QStringLiteral("watched"));
    for (int index = 0; index < 60; ++index) {
        makeFolder(QStringLiteral("watched/%1/deeper").arg(index));
    }
    const QString unwatched = makeFolder(QStringLiteral("watched too"));
    FolderWatcher watcher({watched, unwatched}, latency);
    QSignalSpy ready(&watcher, &FolderWatcher::ready);
    QSignalSpy partly(&watcher, &FolderWatcher::partlyWatched);
    QSignalSpy batches(&watcher, &FolderWatcher::changed);
    ASSERT_TRUE(ready.wait(60000));
    const QStringList both{watched, unwatched};
    ASSERT_TRUE(test::EventLoopWatch().waitFor(
        [&] { return !partly.isEmpty() && partly.last().at(0).toStringList() == both; }, 60000));
    ASSERT_TRUE(drain(60000));
    EXPECT_TRUE(batches.isEmpty());

    useUniqueMountIds(false);
    const QString disks[] = {makeFolder(QStringLiteral("disk one")), makeFolder(QStringLiteral("disk two"))};
    for (const QString& disk : disks) {
        EXPECT_TRUE(mountIdOf(disk).has_value()) << qPrintable(disk);
    }
    useUniqueMountIds(true);
    EXPECT_TRUE(reportsAll(batches, {writeFile(QStringLiteral("watched/new.jpg"), "n")}));
}

} // namespace
} // namespace pivra
