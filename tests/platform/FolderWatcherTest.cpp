#include "platform/folders/FolderWatcher.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// Long enough that the few writes of one step land in one batch.
constexpr auto latency = 300ms;
constexpr int quietMs = 900;

class FolderWatcherTest : public test::TempFolderTest {
protected:
    QStringList nextBatch(QSignalSpy& batches)
    {
        if (batches.isEmpty() && !batches.wait(5000)) {
            return {QStringLiteral("no batch")};
        }
        return batches.takeFirst().at(0).toStringList();
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
    ASSERT_TRUE(ready.wait(5000));

    writeFile(QStringLiteral("a/sub/1.txt"), "1");
    writeFile(QStringLiteral("2.txt"), "2");
    writeFile(QStringLiteral("a/sub/1.txt"), "again");
    QFile(outside.filePath(QStringLiteral("behind-link.txt"))).open(QIODevice::WriteOnly);
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("a/sub/1.txt")), pathOf(QStringLiteral("2.txt"))}));

    ASSERT_TRUE(QDir(root()).rename(QStringLiteral("a"), QStringLiteral("b")));
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("a")), pathOf(QStringLiteral("b"))}));
    writeFile(QStringLiteral("b/sub/3.txt"), "3");
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("b/sub/3.txt"))}));

    // Moved out, a folder is no longer watched.
    ASSERT_TRUE(QDir().rename(pathOf(QStringLiteral("b")), outside.filePath(QStringLiteral("b"))));
    EXPECT_EQ(nextBatch(batches), QStringList({pathOf(QStringLiteral("b"))}));
    QFile(outside.filePath(QStringLiteral("b/sub/4.txt"))).open(QIODevice::WriteOnly);
    QTest::qWait(quietMs);
    EXPECT_TRUE(batches.isEmpty());
}

TEST_F(FolderWatcherTest, NothingIsSignalledAfterStop)
{
    makeFolder(QStringLiteral("a/b/c"));
    FolderWatcher watcher({root()}, latency);
    QSignalSpy ready(&watcher, &FolderWatcher::ready);
    QSignalSpy batches(&watcher, &FolderWatcher::changed);
    watcher.stop(); // before the first watches are set
    writeFile(QStringLiteral("a/b/c/1.txt"), "1");
    QTest::qWait(quietMs);
    EXPECT_TRUE(ready.isEmpty());
    EXPECT_TRUE(batches.isEmpty());
}

} // namespace
} // namespace pivra
