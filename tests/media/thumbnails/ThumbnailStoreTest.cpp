#include "media/thumbnails/ThumbnailStore.h"

#include "media/thumbnails/MediaKey.h"
#include "platform/runtime/Drain.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/runtime/threads/Pool.h"
#include "platform/runtime/Task.h"
#include "support/files/Bombs.h"
#include "support/files/JpegMaker.h"
#include "support/system/SyncCalls.h"
#include "support/system/TempFolder.h"

#include "ThumbnailTestKit.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTest>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <vips/vips8>

#include <sys/stat.h>

namespace pivra {
namespace {

using test::ReopenableGate;

// The real renderer, counted, held at the gate when a test closes it, and
// failing as a decoder's unexpected error would when a test asks it to.
class CountingRenderer : public ThumbnailRenderer {
public:
    Rendering render(const MediaItem& item, int pixels, DecodeUrgency urgency) const override
    {
        ++renders;
        gate.pass();
        if (throws) {
            throw std::runtime_error("the decoder gave up");
        }
        return ThumbnailRenderer::render(item, pixels, urgency);
    }

    mutable std::atomic<int> renders{0};
    mutable ReopenableGate gate;
    std::atomic<bool> throws{false};
};

// Everything one answer carried, and whether it came before the call returned.
struct Answer {
    QImage image;
    std::optional<QString> key;
    bool synchronous = false;
    bool onGuiThread = false;
};

class ThumbnailStoreTest : public test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        makeStore({});
    }

    void makeStore(ThumbnailStoreLimits limits)
    {
        store.reset();
        renderer = std::make_shared<CountingRenderer>();
        locations = ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache")));
        store = std::make_unique<ThumbnailStore>(locations, renderer, limits);
    }

    MediaItem photo(const QString& name, QSize size = QSize(800, 600), QColor color = Qt::darkCyan) const
    {
        const QString path = pathOf(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        test::ExifFields upright;
        upright.orientation = 1;
        EXPECT_TRUE(test::makeJpeg(path, size, upright, color));
        return itemFor(path);
    }

    // A photo with the detail of a real one (its colour fading to black
    // under grain), so its thumbnail and preview files span several disk
    // blocks, as a camera photo's do.
    MediaItem detailedPhoto(const QString& name, QColor color) const
    {
        QImage pixels(1600, 1200, QImage::Format_RGB888);
        QRandomGenerator grain(quint32(color.rgb()));
        for (int y = 0; y < pixels.height(); ++y) {
            uchar* pixel = pixels.scanLine(y);
            const double fade = 1.0 - double(y) / pixels.height();
            for (int x = 0; x < pixels.width(); ++x, pixel += 3) {
                const int noise = int(grain.bounded(60)) - 30;
                pixel[0] = uchar(std::clamp(int(color.red() * fade) + noise, 0, 255));
                pixel[1] = uchar(std::clamp(int(color.green() * fade) + noise, 0, 255));
                pixel[2] = uchar(std::clamp(int(color.blue() * fade) + noise, 0, 255));
            }
        }
        const QString path = pathOf(name);
        EXPECT_TRUE(pixels.save(path, "JPEG", 90));
        return itemFor(path);
    }

    MediaItem itemFor(const QString& path) const
    {
        MediaItem item;
        item.setSourceID(sourceID);
        item.setPath(path);
        item.setID(MediaItem::makeID(sourceID, path));
        item.setName(QFileInfo(path).fileName());
        item.setFileSize(QFileInfo(path).size());
        item.setModifiedAt(1700000000.5);
        return item;
    }

    // Asks as a grid cell does and records the answer when it comes.
    std::shared_ptr<Answer> ask(const MediaItem& item, bool loadImage = true)
    {
        auto answer = std::make_shared<Answer>();
        auto calls = std::make_shared<int>(0);
        auto returned = std::make_shared<bool>(false);
        store->ensure(item, loadImage, [answer, calls, returned](const QImage& image, const std::optional<QString>& key) {
            ++*calls;
            EXPECT_EQ(*calls, 1) << "answered more than once";
            *answer = {image, key, !*returned, isMainThread()};
        });
        *returned = true;
        answers.push_back(calls);
        return answer;
    }

    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 20000); }

    bool answered(const std::shared_ptr<Answer>& answer) const
    {
        return waitFor([&] { return answer->key || !answer->image.isNull() || answer->onGuiThread; });
    }

    // Waits until no operation is left to answer and every answer sent has
    // been delivered.
    bool settled() const
    {
        const auto idle = [](const OperationQueue& queue) { return queue.waitingCount() + queue.runningCount() == 0; };
        return waitFor([&] { return idle(store->displayQueue()) && idle(store->queue()); }) && drain();
    }

    QUuid sourceID = QUuid::createUuid();
    ThumbnailLocations locations;
    std::shared_ptr<CountingRenderer> renderer;
    std::unique_ptr<ThumbnailStore> store;
    std::vector<std::shared_ptr<int>> answers;
};

TEST_F(ThumbnailStoreTest, ASecondRequestComesFromMemoryThenFromDisk)
{
    const MediaItem item = photo(QStringLiteral("photo.jpg"), QSize(1600, 1200));
    const std::optional<QString> key = contentKey(item);

    const auto first = ask(item);
    ASSERT_TRUE(answered(first));
    EXPECT_FALSE(first->synchronous);
    EXPECT_TRUE(first->onGuiThread);
    EXPECT_EQ(first->key, key);
    EXPECT_EQ(first->image.size(), QSize(420, 315));
    EXPECT_TRUE(QFileInfo::exists(locations.gridFile(*key)));
    EXPECT_TRUE(locations.gridFile(*key).endsWith(QStringLiteral("/Thumbnails/v2/") + key->left(2) + QLatin1Char('/') +
                                                  *key + QStringLiteral(".jpg")));

    // The memo found the key without the catalog; memory answers at once.
    const auto second = ask(item);
    EXPECT_TRUE(second->synchronous);
    EXPECT_EQ(second->key, key);
    EXPECT_EQ(second->image.size(), QSize(420, 315));

    store->memory().clear();
    const auto third = ask(item);
    EXPECT_FALSE(third->synchronous);
    ASSERT_TRUE(answered(third));
    EXPECT_EQ(third->key, key);
    EXPECT_EQ(third->image.size(), QSize(420, 315));
    EXPECT_EQ(third->image.format(), QImage::Format_RGB888) << "three bytes a pixel, as rendered";
    EXPECT_EQ(store->memory().totalCost(), 420 * 315 * 4);
    EXPECT_EQ(renderer->renders, 1);
}

TEST_F(ThumbnailStoreTest, TwentyConcurrentRequestsForOneKeyRenderOnce)
{
    // Twenty items, all copies of one photo in different folders.
    const MediaItem original = photo(QStringLiteral("copies/0/photo.jpg"));
    std::vector<MediaItem> items{original};
    for (int i = 1; i < 20; ++i) {
        const QString path = pathOf(QStringLiteral("copies/%1/photo.jpg").arg(i));
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(QFile::copy(original.path(), path));
        items.push_back(itemFor(path));
    }
    renderer->gate.close();
    std::vector<std::shared_ptr<Answer>> results;
    for (const MediaItem& item : items) {
        results.push_back(ask(item));
    }
    // One operation holds the render; every other has left its completion.
    ASSERT_TRUE(waitFor([&] {
        return store->displayQueue().waitingCount() == 0 && store->displayQueue().runningCount() == 1;
    }));
    renderer->gate.open();
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(results.begin(), results.end(), [](const auto& answer) { return answer->onGuiThread; });
    }));
    EXPECT_EQ(renderer->renders, 1);
    const std::optional<QString> key = contentKey(original);
    for (const auto& answer : results) {
        EXPECT_EQ(answer->key, key);
        EXPECT_EQ(answer->image.size(), QSize(420, 315));
    }
    ASSERT_TRUE(settled());
    for (const auto& calls : answers) {
        EXPECT_EQ(*calls, 1);
    }
    EXPECT_EQ(ThumbnailStore::diskStats(locations.assetDirectory).count, 1) << "one grid file for all copies";
}

TEST_F(ThumbnailStoreTest, ACancelledRequestIsNeverAnswered)
{
    const MediaItem item = photo(QStringLiteral("photo.jpg"));
    store->displayQueue().setSuspended(true); // the cell scrolls away before its turn
    bool called = false;
    const auto operation = store->ensure(item, true, [&called](const QImage&, const std::optional<QString>&) {
        called = true;
    });
    ASSERT_TRUE(operation);
    operation->cancel();
    const auto other = ask(photo(QStringLiteral("other.jpg")));
    store->displayQueue().setSuspended(false);
    ASSERT_TRUE(answered(other));
    ASSERT_TRUE(settled());
    EXPECT_FALSE(called);
    EXPECT_EQ(renderer->renders, 1);
}

TEST_F(ThumbnailStoreTest, AMissingOrUndecodableGridFileIsMadeAgainUnderTheSameKey)
{
    MediaItem item = photo(QStringLiteral("photo.jpg"));
    const QString key = *contentKey(item);
    item.setThumbnailKey(key); // as the catalog holds it
    const QString file = locations.gridFile(key);

    ASSERT_TRUE(answered(ask(item)));
    QFile::remove(file);
    store->memory().clear();
    const auto afterDeletion = ask(item);
    ASSERT_TRUE(answered(afterDeletion));
    EXPECT_EQ(afterDeletion->key, key);
    EXPECT_EQ(renderer->renders, 2);

    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not a jpeg");
    damaged.close();
    store->memory().clear();
    const auto afterDamage = ask(item);
    ASSERT_TRUE(answered(afterDamage));
    EXPECT_EQ(afterDamage->key, key);
    EXPECT_FALSE(afterDamage->image.isNull());
    EXPECT_EQ(renderer->renders, 3);
    EXPECT_FALSE(loadCachedImage(file).isNull()) << "the damaged file was replaced";
}

// What a crash can leave of a cache file written without a sync, and what
// an earlier version's file (with no check of its own) cut short is.
TEST_F(ThumbnailStoreTest, ACutTornOrZeroedCacheFileIsMadeAgainWhenNextAskedFor)
{
    constexpr qsizetype block = 4096;
    const auto zeroed = [](QByteArray bytes, qsizetype from, qsizetype to) {
        std::fill(bytes.begin() + from, bytes.begin() + std::min(to, bytes.size()), '\0');
        return bytes;
    };
    const struct {
        const char* name;
        std::function<QByteArray(const QByteArray&)> damage;
        bool withoutCheck = false;
    } rows[] = {
        {"cut in the middle", [](const QByteArray& bytes) { return bytes.first(bytes.size() / 2); }},
        {"cut before its check", [](const QByteArray& bytes) { return bytes.first(bytes.size() - 20); }},
        {"a block of zeros inside", [&](const QByteArray& bytes) { return zeroed(bytes, block, 2 * block); }},
        {"zeros from a block on", [&](const QByteArray& bytes) { return zeroed(bytes, block, bytes.size()); }},
        {"nothing but zeros", [&](const QByteArray& bytes) { return zeroed(bytes, 0, bytes.size()); }},
        // A decoder reads another step of its table without a word: only the check tells.
        {"a quantization step changed", [](QByteArray bytes) {
             const qsizetype steps = bytes.indexOf("\xFF\xDB") + 5;
             bytes[steps + 10] = char(bytes[steps + 10] + 1);
             return bytes;
         }},
        {"an earlier version's file cut short", [](const QByteArray& bytes) { return bytes.first(bytes.size() / 2); },
         true},
    };
    int hue = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QColor color = QColor::fromHsv(hue += 50, 200, 200);
        MediaItem item = detailedPhoto(QString::fromLatin1(row.name) + QStringLiteral(".jpg"), color);
        const auto made = ask(item);
        ASSERT_TRUE(answered(made));
        item.setThumbnailKey(made->key);
        const QString grid = locations.gridFile(made->key.value());
        QImage viewer;
        store->request(item, viewerPixels, [&viewer](const QImage& image) { viewer = image; });
        ASSERT_TRUE(waitFor([&] { return !viewer.isNull(); }) && settled());
        const QString preview = locations.viewerPreviewFile(item, viewerPixels);

        for (const QString& file : {grid, preview}) {
            QFile read(file);
            ASSERT_TRUE(read.open(QIODevice::ReadOnly));
            QByteArray bytes = read.readAll();
            read.close();
            ASSERT_GT(bytes.size(), 2 * block + 1024) << "data after the zeroed block";
            if (row.withoutCheck) {
                QBuffer buffer(&bytes);
                ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && loadCachedImage(file).save(&buffer, "jpeg"));
            }
            QFile write(file);
            ASSERT_TRUE(write.open(QIODevice::WriteOnly | QIODevice::Truncate));
            write.write(row.damage(bytes));
            write.close();
            EXPECT_TRUE(loadCachedImage(file).isNull());
            EXPECT_FALSE(isWholeCachedFile(file));
        }
        store->memory().clear();
        const int renders = renderer->renders;
        const auto again = ask(item);
        ASSERT_TRUE(answered(again));
        EXPECT_EQ(again->key, made->key);
        ASSERT_EQ(again->image.size(), QSize(420, 315));
        EXPECT_EQ(again->image.pixelColor(210, 300), made->image.pixelColor(210, 300)) << "the lower rows are whole";
        QImage viewedAgain;
        store->request(item, viewerPixels, [&viewedAgain](const QImage& image) { viewedAgain = image; });
        ASSERT_TRUE(waitFor([&] { return !viewedAgain.isNull(); }) && settled());
        EXPECT_EQ(renderer->renders, renders + 2) << "both made again";
        EXPECT_TRUE(isWholeCachedFile(grid));
        EXPECT_TRUE(isWholeCachedFile(preview));

        // Preparation, which vouches for a file it finds, remakes one a crash tore too.
        QFile::resize(grid, QFileInfo(grid).size() / 2);
        const auto prepared = ask(item, false);
        ASSERT_TRUE(answered(prepared));
        EXPECT_EQ(prepared->key, made->key);
        EXPECT_EQ(renderer->renders, renders + 3);
        EXPECT_TRUE(isWholeCachedFile(grid));
    }
}

// Every thumbnail can be made again and a torn one is, so none waits for the
// disk: neither a grid thumbnail nor the viewer's preview, whose picture is
// shown before it is kept.
TEST_F(ThumbnailStoreTest, NoThumbnailOrPreviewIsSyncedToTheDiskOneByOne)
{
    const QString probe = pathOf(QStringLiteral("probe/saved.txt"));
    QDir().mkpath(QFileInfo(probe).absolutePath());
    QSaveFile saved(probe);
    ASSERT_TRUE(saved.open(QIODevice::WriteOnly) && saved.write("synced") == 6 && saved.commit());
    ASSERT_GE(test::syncCallsUnder(pathOf(QStringLiteral("probe"))), 1) << "the count sees Qt's syncs";

    for (int index = 0; index < 4; ++index) {
        const MediaItem item = detailedPhoto(QStringLiteral("photo%1.jpg").arg(index), QColor::fromHsv(index * 80, 200, 220));
        const auto grid = ask(item);
        QImage viewer;
        store->request(item, viewerPixels, [&viewer](const QImage& image) { viewer = image; });
        ASSERT_TRUE(answered(grid));
        ASSERT_TRUE(waitFor([&] { return !viewer.isNull(); }));
    }
    ASSERT_TRUE(settled());
    EXPECT_EQ(ThumbnailStore::diskStats(locations.assetDirectory).count, 4);
    EXPECT_EQ(ThumbnailStore::diskStats(locations.viewerDirectory).count, 4);
    EXPECT_EQ(test::syncCallsUnder(pathOf(QStringLiteral("data"))), 0);
    EXPECT_EQ(test::syncCallsUnder(pathOf(QStringLiteral("cache"))), 0);
}

TEST_F(ThumbnailStoreTest, UnreadableFilesAnswerNothing)
{
    const QString broken = writeFile(QStringLiteral("broken.jpg"), QByteArray::fromHex("ffd8ffe0") + QByteArray(3000, 'x'));
    const auto corrupt = ask(itemFor(broken));
    ASSERT_TRUE(answered(corrupt));
    EXPECT_TRUE(corrupt->image.isNull());
    EXPECT_FALSE(corrupt->key);
    EXPECT_EQ(ThumbnailStore::diskStats(locations.assetDirectory).count, 0);

    // A drive that is not there: no file, but a grid file under the catalog's key still shows.
    const MediaItem present = photo(QStringLiteral("drive/photo.jpg"));
    ASSERT_TRUE(answered(ask(present)));
    MediaItem offline = present;
    offline.setThumbnailKey(contentKey(present));
    ASSERT_TRUE(QFile::remove(present.path()));
    store->memory().clear();
    const auto shown = ask(offline);
    ASSERT_TRUE(answered(shown));
    EXPECT_EQ(shown->key, offline.thumbnailKey());
    EXPECT_FALSE(shown->image.isNull());

    MediaItem unknown = itemFor(pathOf(QStringLiteral("drive/never-seen.jpg")));
    const auto nothing = ask(unknown);
    ASSERT_TRUE(answered(nothing));
    EXPECT_TRUE(nothing->image.isNull());
    EXPECT_FALSE(nothing->key);
}

TEST_F(ThumbnailStoreTest, ARendererThatThrowsAnswersWithNoImage)
{
    renderer->throws = true;
    const MediaItem item = photo(QStringLiteral("photo.jpg"));
    std::optional<QImage> preview;
    store->request(item, viewerPixels, [&preview](const QImage& image) { preview = image; });
    ASSERT_TRUE(waitFor([&] { return preview.has_value(); }));
    EXPECT_TRUE(preview->isNull());

    const auto grid = ask(item);
    ASSERT_TRUE(answered(grid));
    EXPECT_TRUE(grid->image.isNull());
    EXPECT_FALSE(grid->key);
}

TEST_F(ThumbnailStoreTest, VideosWithoutAFrameShowAStandInThatIsNeverStored)
{
    const QByteArray header = QByteArray::fromHex("00000018667479706d703432000000006d70343269736f6d");
    MediaItem video = itemFor(writeFile(QStringLiteral("clip.mp4"), header + QByteArray(5000, '\0')));
    video.setKind(MediaKind::video);
    const auto answer = ask(video);
    ASSERT_TRUE(answered(answer));
    EXPECT_FALSE(answer->image.isNull());
    EXPECT_FALSE(answer->key);
    EXPECT_EQ(ThumbnailStore::diskStats(locations.assetDirectory).count, 0);
}

Task<void> prepareInto(ThumbnailStore& store, MediaItem item, std::optional<QString>& key)
{
    key = co_await store.prepare(item);
}

TEST_F(ThumbnailStoreTest, PreparationStoresTheFileAndAnswersItsKey)
{
    const MediaItem item = photo(QStringLiteral("photo.jpg"));
    std::optional<QString> key;
    startTask(nullptr, prepareInto(*store, item, key));
    ASSERT_TRUE(drain());
    EXPECT_EQ(key, contentKey(item));
    EXPECT_TRUE(QFileInfo::exists(locations.gridFile(*key)));
    EXPECT_EQ(renderer->renders, 1);
    EXPECT_EQ(store->memory().totalCost(), 0) << "what nobody looks at stays on disk only";

    // A copy elsewhere finds the file: no second render.
    const QString copy = pathOf(QStringLiteral("elsewhere/photo.jpg"));
    QDir().mkpath(QFileInfo(copy).absolutePath());
    ASSERT_TRUE(QFile::copy(item.path(), copy));
    std::optional<QString> copyKey;
    startTask(nullptr, prepareInto(*store, itemFor(copy), copyKey));
    ASSERT_TRUE(drain());
    EXPECT_EQ(copyKey, key);
    EXPECT_EQ(renderer->renders, 1);

    std::optional<QString> missingKey = QStringLiteral("unset");
    startTask(nullptr, prepareInto(*store, itemFor(pathOf(QStringLiteral("gone.jpg"))), missingKey));
    ASSERT_TRUE(drain());
    EXPECT_FALSE(missingKey);
}

TEST_F(ThumbnailStoreTest, PreparationWaitsWhileTheGridScrolls)
{
    const MediaItem item = photo(QStringLiteral("photo.jpg"));
    store->preparationPause().noteScroll();
    EXPECT_TRUE(store->queue().isSuspended());
    const auto answer = ask(item, false);
    EXPECT_FALSE(answer->onGuiThread);
    EXPECT_EQ(store->queue().waitingCount(), 1) << "held until the scrolling stops";
    ASSERT_TRUE(answered(answer));
    EXPECT_FALSE(store->queue().isSuspended());
    EXPECT_EQ(answer->key, contentKey(item));

    const auto existing = ask(item, false);
    ASSERT_TRUE(answered(existing));
    EXPECT_EQ(existing->key, contentKey(item));
    EXPECT_TRUE(existing->image.isNull()) << "preparation of an existing file loads no image";
    EXPECT_EQ(renderer->renders, 1);
}

TEST_F(ThumbnailStoreTest, ViewerPreviewsAreCachedOnDiskWithinTheirBudget)
{
    ThumbnailStoreLimits tight;
    tight.viewerPreviewBytes = 1;
    makeStore(tight);
    const MediaItem large = photo(QStringLiteral("large.jpg"), QSize(4000, 3000));
    const MediaItem small = photo(QStringLiteral("small.jpg"), QSize(100, 80));

    QImage first;
    store->request(large, viewerPixels, [&first](const QImage& image) { first = image; });
    ASSERT_TRUE(waitFor([&] { return !first.isNull(); }));
    EXPECT_EQ(first.size(), QSize(3200, 2400));
    ASSERT_TRUE(settled()); // kept once shown
    const QString largeFile = locations.viewerPreviewFile(large, viewerPixels);
    EXPECT_TRUE(QFileInfo::exists(largeFile));

    QImage again;
    store->request(large, viewerPixels, [&again](const QImage& image) { again = image; });
    ASSERT_TRUE(waitFor([&] { return !again.isNull(); }));
    EXPECT_EQ(renderer->renders, 1) << "the second look reads the cached preview";
    EXPECT_EQ(store->memory().totalCost(), 0) << "viewer previews stay out of memory";

    QImage tiny;
    store->request(small, viewerPixels, [&tiny](const QImage& image) { tiny = image; });
    ASSERT_TRUE(waitFor([&] { return !tiny.isNull(); }));
    EXPECT_EQ(tiny.size(), QSize(100, 80)) << "never enlarged";
    ASSERT_TRUE(settled());
    EXPECT_TRUE(QFileInfo::exists(locations.viewerPreviewFile(small, viewerPixels)));
    EXPECT_FALSE(QFileInfo::exists(largeFile)) << "over budget, the older preview goes";
}

TEST_F(ThumbnailStoreTest, ThumbnailsOfEarlierVersionsAreImported)
{
    const MediaItem item = photo(QStringLiteral("library/photo.jpg"));
    store->setSourceRoots({{sourceID, pathOf(QStringLiteral("library"))}});
    // An empty portable file is passed over for the cache one.
    const QString portable = *oldPortableFile(item, pathOf(QStringLiteral("library")));
    QDir().mkpath(QFileInfo(portable).absolutePath());
    QFile(portable).open(QIODevice::WriteOnly);
    QImage legacy(42, 42, QImage::Format_RGB32);
    legacy.fill(Qt::magenta);
    QDir().mkpath(QFileInfo(locations.legacyCacheFile(item)).absolutePath());
    ASSERT_TRUE(legacy.save(locations.legacyCacheFile(item), "JPEG"));

    const auto answer = ask(item);
    ASSERT_TRUE(answered(answer));
    EXPECT_EQ(answer->image.size(), QSize(42, 42));
    EXPECT_EQ(answer->key, contentKey(item));
    EXPECT_EQ(renderer->renders, 0);
}

bool writeLargeJpeg(const QString& path)
{
    try {
        vips::VImage::black(8000, 8000, vips::VImage::option()->set("bands", 3)).jpegsave(path.toUtf8().data());
        return true;
    } catch (const vips::VError&) {
        return false;
    }
}

// A USB stick or a shared folder can bring anything into the places earlier
// versions kept thumbnails in, and a file an earlier run took from there may
// be in the grid store already. There a thumbnail is a JPEG no larger than
// one, in bytes or in the pixels it declares; anything else is passed over
// unread or undecoded, and the photo gets its own. No reader is chosen by
// the bytes, so an SVG's image is never read from where it points: a picture
// elsewhere on the disk, or a FIFO that would hold a thumbnail thread for good.
TEST_F(ThumbnailStoreTest, AnythingButAThumbnailWhereOneIsKeptIsPassedOver)
{
    const QString fifo = pathOf(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    QImage elsewhere(300, 200, QImage::Format_RGB32);
    elsewhere.fill(Qt::magenta);
    const QString picture = pathOf(QStringLiteral("elsewhere.png"));
    ASSERT_TRUE(elsewhere.save(picture, "PNG"));
    const auto writing = [](QByteArray bytes) {
        return [bytes](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
    };
    enum class Place { portable, oldCache, gridStore };
    const auto bomb = [](const QString& path) { return test::writeBomb(path, 60000); };
    const struct {
        const char* name;
        Place place;
        std::function<bool(const QString&)> make;
    } rows[] = {
        {"a JPEG declaring 60,000 x 60,000", Place::portable, bomb},
        {"a real 8,000 x 8,000 JPEG", Place::portable, writeLargeJpeg},
        {"2 GB after a JPEG's first marker", Place::portable,
         [](const QString& path) {
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.write("\xFF\xD8\xFF", 3) == 3 &&
                    file.resize(std::int64_t(2) << 30);
         }},
        {"a JPEG declaring 60,000 x 60,000 in the old cache", Place::oldCache, bomb},
        {"a real 8,000 x 8,000 JPEG in the grid store", Place::gridStore, writeLargeJpeg},
        {"an SVG reading a FIFO", Place::portable, writing(test::svgReading(fifo))},
        {"an SVG reading a picture", Place::portable, writing(test::svgReading(picture))},
        {"a PNG", Place::portable, [&elsewhere](const QString& path) { return elsewhere.save(path, "PNG"); }},
        {"an SVG reading a picture in the old cache", Place::oldCache, writing(test::svgReading(picture))},
        {"an SVG reading a FIFO in the grid store", Place::gridStore, writing(test::svgReading(fifo))},
    };
    const QString root = pathOf(QStringLiteral("library"));
    store->setSourceRoots({{sourceID, root}});
    ASSERT_TRUE(answered(ask(photo(QStringLiteral("library/first.jpg"))))); // what the first render sets up
    int hue = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        hue += 35; // a photo of its own per row
        const MediaItem item = photo(QStringLiteral("library/%1.jpg").arg(hue), QSize(800, 600),
                                     QColor::fromHsv(hue, 200, 200));
        const QString key = contentKey(item).value();
        const QString place = row.place == Place::portable   ? oldPortableFile(item, root).value()
                              : row.place == Place::oldCache ? locations.legacyCacheFile(item)
                                                             : locations.gridFile(key);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(place).absolutePath()) && row.make(place));
        const int renders = renderer->renders;
        trimHeap();
        test::resetPeakMemory();
        const std::int64_t before = test::peakMemory();
        const auto answer = ask(item);
        const bool inTime = answered(answer);
        test::releaseFifoReaders(fifo); // a reader held there ends, so that the store can go
        ASSERT_TRUE(inTime);
        EXPECT_LT(test::peakMemory() - before, std::int64_t(32) << 20);
        EXPECT_EQ(answer->key, key);
        EXPECT_EQ(answer->image.size(), QSize(420, 315));
        EXPECT_EQ(renderer->renders, renders + 1) << "the photo's own thumbnail";
        QFile stored(locations.gridFile(key));
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_TRUE(stored.readAll().startsWith("\xFF\xD8\xFF")) << "a JPEG";
        EXPECT_EQ(loadCachedImage(locations.gridFile(key)).size(), QSize(420, 315));
    }
}

TEST_F(ThumbnailStoreTest, KnownKeysFollowTheFilesTimeAndSize)
{
    MediaItem item = photo(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(answered(ask(item)));
    EXPECT_EQ(store->knownKey(item), contentKey(item));
    MediaItem touched = item;
    touched.setModifiedAt(touched.modifiedAt() + 1e-6);
    EXPECT_FALSE(store->knownKey(touched));
    MediaItem grown = item;
    grown.setFileSize(grown.fileSize() + 1);
    EXPECT_FALSE(store->knownKey(grown));
    EXPECT_FALSE(store->cachedPreview(item).isNull());
    store->memory().clear();
    EXPECT_TRUE(store->cachedPreview(item).isNull()) << "the grid store on disk is not read";
    EXPECT_TRUE(store->cachedPreview(touched).isNull());
}

StorageMeasure footprintOf(ThumbnailStore* store, QStringList keys)
{
    return store->footprint(keys);
}

StorageMeasure gridStoreStats(ThumbnailStore* store)
{
    return ThumbnailStore::diskStats(store->assetDirectory());
}

bool deleteKeys(ThumbnailStore* store, QStringList keys)
{
    store->deleteThumbnails(keys);
    return true;
}

Task<void> measureAndDelete(ThumbnailStore* store, QStringList keys, std::vector<StorageMeasure>* measures)
{
    measures->push_back(co_await runOnPool(PoolPriority::utility, &footprintOf, store, keys));
    measures->push_back(co_await runOnPool(PoolPriority::utility, &gridStoreStats, store));
    co_await runOnPool(PoolPriority::utility, &deleteKeys, store, keys);
    measures->push_back(co_await runOnPool(PoolPriority::utility, &footprintOf, store, keys));
}

TEST_F(ThumbnailStoreTest, StorageIsMeasuredAndFreedByKey)
{
    const MediaItem first = photo(QStringLiteral("first.jpg"), QSize(800, 600), Qt::red);
    const MediaItem second = photo(QStringLiteral("second.jpg"), QSize(800, 600), Qt::blue);
    ASSERT_TRUE(answered(ask(first)));
    ASSERT_TRUE(answered(ask(second)));
    const QString firstKey = *contentKey(first);
    const QString secondKey = *contentKey(second);
    writeFile(QStringLiteral("data/Pivra/Thumbnails/v2/stray.txt"), "stray");
    const std::int64_t firstBytes = *allocatedSize(locations.gridFile(firstKey));
    ASSERT_GT(firstBytes, 0);

    EXPECT_EQ(store->footprint({}), StorageMeasure{});
    EXPECT_EQ(store->footprint({firstKey.toUpper(), QStringLiteral("nonsense")}), StorageMeasure{});
    EXPECT_EQ(store->footprint({firstKey, firstKey}), (StorageMeasure{2, 2 * firstBytes}));

    std::vector<StorageMeasure> measures;
    startTask(nullptr, measureAndDelete(store.get(), {firstKey, QStringLiteral("nonsense")}, &measures));
    ASSERT_TRUE(drain());
    ASSERT_EQ(measures.size(), 3u);
    EXPECT_EQ(measures[0], (StorageMeasure{1, firstBytes}));
    EXPECT_EQ(measures[1].count, 3) << "two thumbnails and the stray file";
    EXPECT_EQ(measures[2], StorageMeasure{});

    EXPECT_FALSE(store->knownKey(first)) << "the memo forgets deleted keys";
    EXPECT_EQ(store->knownKey(second), secondKey);
    EXPECT_TRUE(store->memory().image(firstKey).isNull());
    EXPECT_FALSE(store->memory().image(secondKey).isNull());

    // Shown again, it is made again.
    const auto again = ask(first);
    ASSERT_TRUE(answered(again));
    EXPECT_EQ(again->key, firstKey);
    EXPECT_EQ(renderer->renders, 3);

    EXPECT_EQ(ThumbnailStore::diskStats(pathOf(QStringLiteral("nowhere"))), StorageMeasure{});
}

TEST(ThumbnailMemoryCacheTest, StaysWithinItsCostLeastRecentlyUsedFirst)
{
    // Costs four bytes a pixel whatever the format: 40,000 bytes for the
    // 30,000 of a thumbnail's three-byte pixels.
    QImage image(100, 100, QImage::Format_RGB888);
    image.fill(Qt::gray);
    ThumbnailMemoryCache cache(100'000);
    cache.insert(QStringLiteral("a"), image);
    cache.insert(QStringLiteral("b"), image);
    EXPECT_FALSE(cache.image(QStringLiteral("a")).isNull()); // a is now the most recent
    cache.insert(QStringLiteral("c"), image);
    EXPECT_EQ(cache.totalCost(), 80'000);
    EXPECT_TRUE(cache.image(QStringLiteral("b")).isNull());
    EXPECT_FALSE(cache.image(QStringLiteral("a")).isNull());
    cache.insert(QStringLiteral("huge"), QImage(200, 200, QImage::Format_RGB32));
    EXPECT_EQ(cache.totalCost(), 80'000) << "an image larger than the whole cache is not kept";

    // An image it lets go of is freed after its lock is: freeing unmaps
    // memory, and every lookup would wait behind it. The image's pixels ask
    // the cache from another thread while they are freed.
    struct Probe {
        ThumbnailMemoryCache* cache;
        std::vector<uchar> pixels = std::vector<uchar>(100 * 100 * 4);
        std::atomic<bool> answered{false};
        bool heldWhileFreed = false;
    } probe{&cache};
    const auto freed = [](void* info) {
        auto* probe = static_cast<Probe*>(info);
        std::thread asking([probe] {
            probe->cache->totalCost();
            probe->answered = true;
        });
        // A lock held would keep the answer back for good: two seconds tell.
        for (int waited = 0; waited < 2000 && !probe->answered; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        probe->heldWhileFreed = !probe->answered;
        asking.detach();
    };
    cache.insert(QStringLiteral("probe"), QImage(probe.pixels.data(), 100, 100, 400, QImage::Format_RGB32, freed, &probe));
    cache.insert(QStringLiteral("d"), image);
    cache.insert(QStringLiteral("e"), image);
    while (!probe.answered) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(probe.heldWhileFreed);
}

} // namespace
} // namespace pivra
