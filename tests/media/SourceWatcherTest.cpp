#include "media/SourceWatcher.h"
#include "platform/folders/FolderWatcher.h"
#include "support/system/TempFolder.h"
#include "support/system/WatchSettling.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace pivra {
namespace {

using namespace std::chrono_literals;

constexpr SourceWatcher::Timing fast{50ms, 150ms};

class SourceWatcherTest : public test::TempFolderTest {
protected:
    // Watches `paths` and waits until their existing trees are watched.
    void watch(const QStringList& paths)
    {
        makeFolder(QStringLiteral("marks")); // for the marker of callsOnceSettled(), before the watch
        watcher_ = std::make_unique<SourceWatcher>(paths, [this] { ++calls_; }, fast);
        if (watcher_->isWatching()) {
            QSignalSpy ready(watcher_->stream(), &FolderWatcher::ready);
            ASSERT_TRUE(ready.wait(60000));
        }
    }
    bool waitForCalls(int count) { return QTest::qWaitFor([&] { return calls_ >= count; }, 60000); }
    // The calls made once every change so far has had its chance to make one.
    int callsOnceSettled()
    {
        EXPECT_TRUE(test::settleWatch(watcher_ ? watcher_->stream() : nullptr, pathOf(QStringLiteral("marks/.pivra")),
                                      fast.debounce));
        return calls_;
    }

    std::unique_ptr<SourceWatcher> watcher_;
    int calls_ = 0;
};

TEST_F(SourceWatcherTest, AnEmptyListWatchesNothing)
{
    watch({});
    EXPECT_FALSE(watcher_->isWatching());
    writeFile(QStringLiteral("a.jpg"), "a");
    EXPECT_EQ(callsOnceSettled(), 0);
}

TEST_F(SourceWatcherTest, ABurstOfFilesInANewFolderMakesOneCall)
{
    watch({root()});
    for (int i = 0; i < 100; ++i) {
        writeFile(QStringLiteral("burst/%1.jpg").arg(i), "x");
    }
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(callsOnceSettled(), 1);
}

TEST_F(SourceWatcherTest, ChangesOfPivrasOwnFolderAreNoChanges)
{
    const struct {
        const char* name;
        std::function<void()> act;
        int calls;
    } rows[] = {
        {"its creation", [this] { makeFolder(QStringLiteral(".pivra")); }, 0},
        {"files inside it", [this] { writeFile(QStringLiteral("old/.pivra/thumbs/1.jpg"), "t"); }, 0},
        {"with a photo", [this] {
             makeFolder(QStringLiteral("mixed/.pivra"));
             writeFile(QStringLiteral("mixed/photo.jpg"), "p");
         }, 1},
    };
    makeFolder(QStringLiteral("old/.pivra"));
    makeFolder(QStringLiteral("mixed"));
    watch({root()});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        calls_ = 0;
        row.act();
        EXPECT_EQ(callsOnceSettled(), row.calls);
    }
}

TEST_F(SourceWatcherTest, NoCallAfterStopOrDestructionWhileOneIsPending)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "stopped");
        watch({root()});
        QSignalSpy batches(watcher_->stream(), &FolderWatcher::changed);
        writeFile(QStringLiteral("%1.jpg").arg(destroy), "a");
        ASSERT_TRUE(batches.wait(60000)); // the watcher's debounce has started
        if (destroy) {
            watcher_.reset();
        } else {
            watcher_->stop();
            EXPECT_FALSE(watcher_->isWatching());
        }
        EXPECT_EQ(callsOnceSettled(), 0);
    }
}

TEST_F(SourceWatcherTest, FoldersThatAppearAreFollowed)
{
    QTemporaryDir outside;
    ASSERT_TRUE(QDir().mkpath(outside.filePath(QStringLiteral("moved/deep"))));
    const struct {
        const char* name;
        std::function<void()> bring;
        const char* later;
    } rows[] = {
        {"created", [this] { makeFolder(QStringLiteral("made/deep")); }, "made/deep/new.jpg"},
        {"moved in", [&] { QDir().rename(outside.filePath(QStringLiteral("moved")), pathOf(QStringLiteral("moved"))); },
         "moved/deep/new.jpg"},
    };
    watch({root()});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        calls_ = 0;
        row.bring();
        ASSERT_TRUE(waitForCalls(1));
        writeFile(QString::fromLatin1(row.later), "n");
        EXPECT_TRUE(waitForCalls(2));
    }
}

TEST_F(SourceWatcherTest, DeletingAWatchedFolderIsAChange)
{
    writeFile(QStringLiteral("source/inner/a.jpg"), "a");
    watch({pathOf(QStringLiteral("source")), pathOf(QStringLiteral("other"))});
    ASSERT_TRUE(QDir(pathOf(QStringLiteral("source"))).removeRecursively());
    EXPECT_TRUE(waitForCalls(1));
}

} // namespace
} // namespace pivra
