// Files no reader may trust: decompression bombs, and names that became a
// FIFO or a link to a device between the walk and the read.
#include "media/metadata/MediaMetadata.h"
#include "media/thumbnails/MediaKey.h"
#include "media/thumbnails/render/RenderAttempts.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/video/VideoPosterFrames.h"

#include "support/files/Bombs.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/system/TempFolder.h"

#include "ThumbnailTestKit.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <functional>
#include <optional>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace pivra {
namespace {

using test::TempFolderTest;

MediaItem itemAt(const QString& path, MediaKind kind)
{
    MediaItem item;
    item.setPath(path);
    item.setKind(kind);
    item.setFileSize(1000);
    return item;
}

// Whether `read` returns at all, given time a busy machine may need. It runs on a thread of its
// own, left behind when it hangs, so that a hang fails the test instead of
// stopping the suite.
bool returnsSoon(std::function<void()> read)
{
    auto returned = std::make_shared<std::promise<void>>();
    std::future<void> done = returned->get_future();
    std::thread([read = std::move(read), returned] {
        read();
        returned->set_value();
    }).detach();
    return done.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
}

TEST(HostileRender, BombsAreRefusedQuicklyWithoutTheMemoryTheyAskFor)
{
    QTemporaryDir folder;
    const ThumbnailRenderer renderer;
    struct Bomb {
        QString name;
        std::function<bool(const QString&)> write;
        QSize drawn; // the picture it holds, drawn; empty when refused
    };
    std::vector<Bomb> bombs;
    for (const QString& name : test::bombNames()) {
        bombs.push_back({name, [](const QString& path) { return test::writeBomb(path, 60000); }, {}});
    }
    // Just under the pixel limit: a gigabyte of canvas, three quarters of one of coefficients.
    bombs.push_back({QStringLiteral("just-under-the-pixel-limit.gif"),
                     [](const QString& path) { return test::writeBomb(path, 15800); }, {}});
    bombs.push_back({QStringLiteral("progressive.jpg"),
                     [](const QString& path) { return test::writeProgressiveJpegBomb(path, 15800); }, {}});
    // A HEIC stating a size beyond the pixel limit, and one under it but
    // beyond what one decode may hold, over a small picture: the size it
    // states counts for nothing, and the picture it codes is drawn.
    bombs.push_back({QStringLiteral("bomb.heic"), [](const QString& path) { return test::writeHeicBomb(path, 30000); },
                     QSize(64, 64)});
    bombs.push_back({QStringLiteral("just-under-the-pixel-limit.heic"),
                     [](const QString& path) { return test::writeHeicBomb(path, 15000); }, QSize(64, 64)});
    for (const auto& [name, write, drawn] : bombs) {
        const QString path = folder.filePath(name);
        ASSERT_TRUE(write(path));
        for (const int pixels : {420, 3200}) { // the grid, the viewer
            test::resetPeakMemory();
            const std::int64_t before = test::peakMemory();
            // Decoding a bomb would hold this thread up for far longer;
            // other processes taking the processor do not count.
            const test::PassClock clock;
            const Rendering rendering
                = renderer.render(itemAt(path, MediaKind::image), pixels, DecodeUrgency::visible);
            EXPECT_EQ(rendering.image.isNull() ? QSize() : rendering.image.size(), drawn) << name.toStdString();
            EXPECT_TRUE(rendering.refused || name.endsWith(u".png") || !drawn.isEmpty()) << name.toStdString();
            EXPECT_LT(clock.heldUpMs(), 2000 * test::EventLoopWatch::slowdown()) << name.toStdString();
            EXPECT_LT(test::peakMemory() - before, std::int64_t(200) << 20) << name.toStdString();
        }
    }
}

TEST(HostileRender, EveryReaderGivesUpAtOnceOnAFifoOrANeverEndingDevice)
{
    QTemporaryDir folder;
    const QString fifo = folder.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString zeros = folder.filePath(QStringLiteral("zeros"));
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(zeros).constData()), 0);
    const ThumbnailRenderer renderer(std::make_shared<VideoPosterFrames>());

    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> readers{
        {"photo key", [](const QString& name) { EXPECT_FALSE(contentKey(itemAt(name + ".jpg", MediaKind::image))); }},
        {"video key", [](const QString& name) { EXPECT_FALSE(contentKey(itemAt(name + ".mov", MediaKind::video))); }},
        {"photo render",
         [&](const QString& name) {
             EXPECT_TRUE(renderer.render(itemAt(name + ".jpg", MediaKind::image), 420, DecodeUrgency::visible).image.isNull());
         }},
        {"poster frame",
         [&](const QString& name) {
             EXPECT_TRUE(renderer.render(itemAt(name + ".mov", MediaKind::video), 420, DecodeUrgency::visible).image.isNull());
         }},
        {"photo inspection",
         [](const QString& name) {
             EXPECT_EQ(MediaMetadata::inspect(name + ".jpg", QUuid(), {}, MediaKind::image).width(), 0);
         }},
        {"video inspection",
         [](const QString& name) {
             EXPECT_FALSE(MediaMetadata::inspect(name + ".mov", QUuid(), {}, MediaKind::video).duration());
         }},
        {"metadata text", [](const QString& name) { EXPECT_FALSE(MediaMetadata::imageMetadataJSON(name + ".jpg")); }},
    };
    for (const QString& target : {fifo, zeros}) {
        for (const char* extension : {".jpg", ".mov"}) {
            QFile::link(target, target + extension);
        }
        for (const auto& [what, read] : readers) {
            EXPECT_TRUE(returnsSoon([&read, target] { read(target); })) << what << " on " << target.toStdString();
        }
    }
}

// An SVG under a photo's name, its image read from a FIFO: no reader of a
// photo's pixels or size takes it, so the FIFO is never opened.
TEST(HostileRender, AnSvgUnderAPhotosNameIsReadByNothing)
{
    QTemporaryDir folder;
    const QString fifo = folder.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const ThumbnailRenderer renderer;
    for (const char* name : {"svg.jpg", "svg.bmp", "svg.png"}) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(test::svgReading(fifo)) > 0);
        file.close();
        EXPECT_TRUE(returnsSoon([&] {
            EXPECT_TRUE(renderer.render(itemAt(path, MediaKind::image), 420, DecodeUrgency::visible).image.isNull());
            EXPECT_EQ(MediaMetadata::inspect(path, QUuid(), {}, MediaKind::image).width(), 0);
        })) << name;
        test::releaseFifoReaders(fifo); // a reader held there ends
    }
}

class RenderAttemptsTest : public TempFolderTest {
protected:
    // The marks a run leaves when it ends during its attempts at `names`,
    // all under way at once.
    void loseAttempts(const QStringList& names) const
    {
        // Never ended, as in a crash; kept reachable, so not a leak.
        static auto* const runs = new std::vector<std::unique_ptr<RenderAttempts>>();
        static auto* const lost = new std::vector<std::unique_ptr<RenderAttempts::Attempt>>();
        runs->push_back(std::make_unique<RenderAttempts>(pathOf(QStringLiteral("attempts"))));
        for (const QString& name : names) {
            std::unique_ptr<RenderAttempts::Attempt> attempt = runs->back()->begin(name);
            ASSERT_TRUE(attempt) << name.toStdString();
            lost->push_back(std::move(attempt));
        }
    }

    void loseAttempt(const QString& name) const { loseAttempts({name}); }

    bool mayRender(const QString& name) const
    {
        RenderAttempts run(pathOf(QStringLiteral("attempts")));
        return run.begin(name) != nullptr;
    }
};

TEST_F(RenderAttemptsTest, AFileWhoseRendersEndTheProgramIsRefusedAfterOneRetry)
{
    EXPECT_TRUE(mayRender(QStringLiteral("done.jpg")));
    EXPECT_TRUE(mayRender(QStringLiteral("done.jpg"))) << "a render that returned left a mark";

    loseAttempt(QStringLiteral("crash.jpg"));
    EXPECT_TRUE(mayRender(QStringLiteral("crash.jpg"))) << "one lost attempt (a quit) is forgiven";
    loseAttempt(QStringLiteral("crash.jpg"));
    loseAttempt(QStringLiteral("crash.jpg"));
    EXPECT_FALSE(mayRender(QStringLiteral("crash.jpg")));
    EXPECT_TRUE(mayRender(QStringLiteral("other.jpg")));

    RenderAttempts run(pathOf(QStringLiteral("attempts")));
    const auto first = run.begin(QStringLiteral("twice.jpg"));
    const auto second = run.begin(QStringLiteral("twice.jpg"));
    EXPECT_TRUE(first && second) << "two renders of one file in one run are not lost attempts";
}

} // namespace
} // namespace pivra

namespace pivra {
namespace {

// A run that dies with several renders under way says nothing against any
// one of them: each is tried again alone, and only a death while it was
// alone counts against it.
TEST_F(RenderAttemptsTest, OnlyADeathWhileAFileWasRenderedAloneCountsAgainstIt)
{
    const QStringList names{QStringLiteral("a.heic"), QStringLiteral("b.heic"), QStringLiteral("c.heic"),
                            QStringLiteral("new.jpg")};
    loseAttempts(names.first(3));

    // The next run takes them up again on four workers, and dies too before
    // any returns: what it leaves on disk is copied aside at that moment.
    RenderAttempts run(pathOf(QStringLiteral("attempts")));
    std::atomic<int> entered{0};
    test::ReopenableGate returns(false);
    std::vector<std::thread> workers;
    for (const QString& name : names) {
        workers.emplace_back([&, name] {
            const auto attempt = run.begin(name);
            EXPECT_TRUE(attempt) << name.toStdString();
            ++entered;
            returns.pass();
        });
    }
    ASSERT_TRUE(test::reaches([&] { return entered + run.waiting() == int(names.size()); }));
    EXPECT_EQ(entered, 1) << "a suspect is rendered alone, and what came after it waits";
    const QString died = pathOf(QStringLiteral("as-the-run-died"));
    QDir().mkpath(died);
    for (const QString& mark : QDir(pathOf(QStringLiteral("attempts"))).entryList(QDir::Files)) {
        QFile::copy(pathOf(QStringLiteral("attempts/") + mark), died + QLatin1Char('/') + mark);
    }
    returns.open();
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(entered, int(names.size()));
    RenderAttempts afterTwoDeaths(died);
    for (const QString& name : names) {
        EXPECT_TRUE(afterTwoDeaths.begin(name)) << name.toStdString();
    }

    // A mark of an earlier version counted every attempt alike: the two it
    // recorded would have refused the file.
    writeFile(QStringLiteral("attempts/older.heic"), "2");
    EXPECT_TRUE(mayRender(QStringLiteral("older.heic")));

    // Lost alone: the first is forgiven (a quit), the second refuses the file.
    loseAttempt(QStringLiteral("c.heic"));
    EXPECT_TRUE(mayRender(QStringLiteral("c.heic")));
    loseAttempt(QStringLiteral("c.heic"));
    loseAttempt(QStringLiteral("c.heic"));
    EXPECT_FALSE(mayRender(QStringLiteral("c.heic")));
}

} // namespace
} // namespace pivra
