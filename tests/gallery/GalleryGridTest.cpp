#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "gallery/GalleryGrid.h"
#include "gallery/GalleryMonths.h"
#include "gallery/TileBadges.h"
#include "gallery/preview/HoverVideoPlayer.h"
#include "gallery/preview/RotatablePreviewView.h"
#include "media/pictures/PictureBuffers.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "support/desktop/EventLoopWatch.h"
#include "support/fakes/GalleryItems.h"
#include "support/files/JpegMaker.h"
#include "support/desktop/Renders.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"

#include <QAccessible>
#include <QCryptographicHash>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <map>

namespace pivra {
namespace {

const QUuid sourceID = QUuid::fromString(QStringLiteral("{6B1D3A52-0C52-4F7E-9A57-8A3A3C1E2B10}"));

QColor colorOf(int index)
{
    return QColor::fromHsv((index * 47) % 360, 160, 200).toRgb();
}

class GalleryGridTest : public test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        thumbnails = std::make_unique<ThumbnailStore>(ThumbnailLocations::under(pathOf("data"), pathOf("cache")),
                                                      std::make_shared<ThumbnailRenderer>());
        clips = std::make_unique<VideoPreviewStore>(pathOf("clips"));
        grid = std::make_unique<GalleryGrid>(*thumbnails, *clips);
        grid->setTopInset(10);
        grid->resize(800, 600);
        Motion::shared().setOverride(true);
    }

    void TearDown() override
    {
        grid.reset();
        // A drag's look for its file may still be out on the pool; its answer
        // must arrive to find the grid gone and end the task, or the task is
        // never finished.
        EXPECT_TRUE(drain());
        Motion::shared().setOverride(std::nullopt);
    }

    // `count` photos of varied shapes, about 30 a month, newest first, each
    // with a thumbnail already in memory in a colour of its own.
    MediaItems photos(int count)
    {
        auto items = std::make_shared<std::vector<MediaItem>>();
        for (int i = 0; i < count; ++i) {
            MediaItem item = test::galleryPhoto(sourceID, i, i % 3 == 0 ? QSize(3000, 4000) : QSize(4000, 3000),
                                                1.7e9 - i * 86400.0);
            if (i % 7 == 3) {
                item.setKind(MediaKind::video);
                item.setDuration(61.5);
            }
            item.setFavorite(i % 5 == 1);
            const QString key = QCryptographicHash::hash(item.path().toUtf8(), QCryptographicHash::Sha256).toHex();
            item.setThumbnailKey(key);
            QImage image(i % 3 == 0 ? QSize(315, 420) : QSize(420, 315), QImage::Format_RGB32);
            image.fill(colorOf(i));
            thumbnails->memory().insert(key, image);
            items->push_back(item);
        }
        return items;
    }

    QPoint centreOf(int index) const { return grid->tileRect(index)->center().toPoint(); }

    QImage render() const
    {
        QImage image(grid->viewport()->size(), QImage::Format_RGB32);
        grid->viewport()->render(&image);
        return image;
    }

    // Paints until no tile in view is left to rescale (a frame rescales what
    // fits in its time), and answers how often each of them was rescaled.
    std::map<int, int> settle() const
    {
        std::map<int, int> counts;
        for (std::map<int, int> last; counts.empty() || counts != last;) {
            last = std::exchange(counts, {});
            render();
            const QRectF view(QPointF(0, grid->verticalScrollBar()->value()), QSizeF(grid->viewport()->size()));
            for (const TileFrame& tile : grid->layout().tilesIn(view)) {
                counts[tile.index] = grid->preview(tile.index)->rescaleCount();
            }
        }
        return counts;
    }

    std::unique_ptr<ThumbnailStore> thumbnails;
    std::unique_ptr<VideoPreviewStore> clips;
    std::unique_ptr<GalleryGrid> grid;
};

TEST_F(GalleryGridTest, AClickOpensTheViewerAndADragDoesNot)
{
    std::vector<QString> opened;
    GalleryCallbacks callbacks;
    callbacks.onSelect = [&opened](const MediaItem& item) { opened.push_back(item.name()); };
    grid->setCallbacks(callbacks);
    grid->setItems(photos(40), 1);
    grid->show();
    QWidget* view = grid->viewport();

    QTest::mouseClick(view, Qt::LeftButton, {}, centreOf(2));
    for (int distance : {5, 6}) {
        QTest::mousePress(view, Qt::LeftButton, {}, centreOf(4));
        QTest::mouseMove(view, centreOf(4) + QPoint(distance, 0));
        QTest::mouseRelease(view, Qt::LeftButton, {}, centreOf(4) + QPoint(distance, 0));
    }
    EXPECT_EQ(opened, (std::vector<QString>{"2.jpg", "4.jpg"}));

    // The same version with other items changes nothing.
    grid->setItems(photos(3), 1);
    EXPECT_EQ(grid->items()->size(), 40u);
}

// A disk that stops answering holds each look at a file on it until it
// answers again. A drag from the grid looks for its file off the GUI thread,
// which goes on turning, and starts once the file is found, the button still
// down.
TEST_F(GalleryGridTest, ADragOffAHungDiskHoldsNothingUpAndStartsOnceTheDiskAnswers)
{
    test::TestMounts mounts;
    // Made below the mount, so nothing has looked the file up through it yet.
    writeFile(QStringLiteral("disk-source/a.jpg"), "jpeg");
    const QString disk = makeFolder(QStringLiteral("disk"));
    if (!mounts.bindThroughFuse(pathOf(QStringLiteral("disk-source")), disk)) {
        GTEST_SKIP() << mounts.failure().toStdString();
    }
    auto items = std::make_shared<std::vector<MediaItem>>(*photos(1));
    items->front().setPath(disk + QStringLiteral("/a.jpg"));
    grid->setItems(items, 1);
    grid->show();
    int started = 0;
    QObject::connect(grid.get(), &GalleryGrid::dragStarted, [&started] { ++started; });
    ASSERT_TRUE(mounts.hang(disk, std::chrono::seconds(20)));
    test::EventLoopWatch watch;

    QWidget* view = grid->viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, centreOf(0));
    QTest::mouseMove(view, centreOf(0) + QPoint(8, 0));
    const int turned = watch.ticks();
    EXPECT_TRUE(watch.waitFor([&] { return watch.ticks() > turned + 100; }));
    EXPECT_FALSE(mounts.resumedByItself(disk)) << "the GUI thread waited for the disk";
    EXPECT_EQ(started, 0);

    mounts.resume(disk);
    EXPECT_TRUE(watch.waitFor([&] { return started == 1; }, 30000));
    QTest::mouseRelease(view, Qt::LeftButton, {}, centreOf(0) + QPoint(8, 0));
}

// A list too large to lay out on the GUI thread at once is shown when its
// aspects and months have been found on the pool; until then the grid shows
// the list before it, and a list set meanwhile wins.
TEST_F(GalleryGridTest, ALargeListIsShownOnceShapedAndANewerListWins)
{
    const auto landscapes = [](int count, double newest) {
        auto items = std::make_shared<std::vector<MediaItem>>();
        items->reserve(std::size_t(count));
        for (int i = 0; i < count; ++i) {
            items->push_back(test::galleryPhoto(sourceID, i, QSize(4000, 3000), newest - i * 600.0));
        }
        return MediaItems(std::move(items));
    };
    const MediaItems few = photos(10);
    grid->setItems(few, 1);
    const MediaItems large = landscapes(150'000, 1.7e9);
    grid->setItems(large, 2);
    EXPECT_EQ(grid->items(), few);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->items() == large; }, 30000));
    EXPECT_EQ(grid->layout().months(), monthMarkers(*large));
    EXPECT_EQ(grid->layout().aspects().size(), large->size());

    grid->setItems(landscapes(120'000, 1.6e9), 3);
    grid->setItems(few, 4);
    EXPECT_EQ(grid->items(), few);
    ASSERT_TRUE(drain());
    EXPECT_EQ(grid->items(), few);
    EXPECT_EQ(grid->layout().aspects().size(), few->size());
}

// A million items take longer than a frame to lay out: their rows come from
// the pool with their aspects, and the grid takes them as they came, without
// laying them out again on the GUI thread (bench_gallery_grid times its
// passes meanwhile: a machine's load is no test's to bound). The list before
// is long enough to have the scroll bar already, whose coming would narrow
// the view.
TEST_F(GalleryGridTest, AMillionItemsArriveLaidOutOnThePoolAndAreTakenAsTheyCame)
{
    // A sanitizer build checks the same path with a tenth of the items,
    // still enough to be laid out off the GUI thread; a million there takes
    // minutes.
    const int count = test::EventLoopWatch::slowdown() > 1 ? 100'000 : 1'000'000;
    auto items = std::make_shared<std::vector<MediaItem>>();
    items->reserve(count);
    for (int i = 0; i < count; ++i) {
        items->push_back(
            test::galleryPhoto(sourceID, i, i % 3 == 0 ? QSize(3000, 4000) : QSize(4000, 3000), 1.7e9 - i * 60.0));
    }
    const MediaItems million(std::move(items));
    const MediaItems few = photos(100);
    grid->setItems(few, 1);
    grid->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->verticalScrollBar()->isVisible(); }));

    const int computed = grid->layout().computations();
    grid->setItems(million, 2);
    EXPECT_EQ(grid->items(), few) << "laid out on the GUI thread";
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->items() == million; }, 60000));
    EXPECT_EQ(grid->layout().computations(), computed + 1) << "laid out again once they came";
    EXPECT_EQ(grid->layout().aspects().size(), million->size());
    EXPECT_GT(grid->verticalScrollBar()->maximum(), count / 10 * 190);
}

TEST_F(GalleryGridTest, HoverLiftsATileUnlessMotionIsReduced)
{
    grid->setItems(photos(20), 1);
    grid->show();
    const QRectF tile = *grid->tileRect(1);
    const QPoint outside = QPointF(tile.left() - 1, tile.center().y()).toPoint();
    QTest::mouseMove(grid->viewport(), tile.center().toPoint());
    EXPECT_EQ(render().pixel(outside), PivraAppearance::canvas(false).rgb());

    Motion::shared().setOverride(false);
    QTest::mouseMove(grid->viewport(), grid->tileRect(2)->center().toPoint());
    QTest::mouseMove(grid->viewport(), tile.center().toPoint());
    ASSERT_TRUE(QTest::qWaitFor([&] { return render().pixel(outside) == colorOf(1).rgb(); }, 30000))
        << render().pixel(outside);
}

TEST_F(GalleryGridTest, TheContextMenuOffersWhatTheItemAllows)
{
    std::vector<QString> calls;
    GalleryCallbacks callbacks;
    callbacks.onFavorite = [&calls](const QString& id) { calls.push_back("favorite " + id); };
    callbacks.onAddToAlbum = [&calls](const QUuid& album, const QString& id) {
        calls.push_back("add " + album.toString(QUuid::WithoutBraces) + " " + id);
    };
    callbacks.onRemoveFromAlbum = [&calls](const QUuid&, const QString& id) { calls.push_back("remove " + id); };
    callbacks.onCopy = [&calls](const MediaItem& item) { calls.push_back("copy " + item.name()); };
    grid->setCallbacks(callbacks);

    auto items = std::make_shared<std::vector<MediaItem>>(*photos(2));
    const QString file = pathOf("here.jpg");
    ASSERT_TRUE(test::makeJpeg(file, QSize(30, 20)));
    (*items)[0].setPath(file);
    (*items)[1].setPath(QStringLiteral("pivra-camera://device/1.jpg"));
    grid->setItems(items, 1);

    auto titles = [](QMenu* menu) {
        QStringList list;
        for (QAction* action : menu->actions()) {
            list << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return list;
    };
    std::unique_ptr<QMenu> local(grid->menuFor(0));
    ASSERT_TRUE(drain()); // the file is looked for off the GUI thread
    EXPECT_EQ(titles(local.get()), (QStringList{"Copy", "Show in File Manager", "-", "Add to Favorites", "Add to Album"}));
    EXPECT_TRUE(local->actions()[0]->isEnabled());
    EXPECT_EQ(titles(local->actions()[4]->menu()), QStringList{"New Album…"});
    local->actions()[0]->trigger();

    const Album album{QUuid::createUuid(), QStringLiteral("Trips"), 3, std::nullopt};
    grid->setAlbums({album});
    grid->setCurrentAlbumID(album.id);
    std::unique_ptr<QMenu> device(grid->menuFor(1));
    EXPECT_EQ(titles(device.get()), (QStringList{"Copy", "Show in File Manager", "-", "Remove from Favorites",
                                                 "Add to Album", "-", "Remove from This Album"}));
    EXPECT_FALSE(device->actions()[0]->isEnabled());
    EXPECT_FALSE(device->actions()[1]->isEnabled());
    QMenu* albums = device->actions()[4]->menu();
    EXPECT_EQ(titles(albums), (QStringList{"Trips", "-", "New Album…"}));
    albums->actions()[0]->trigger();
    device->actions()[3]->trigger();
    device->actions()[6]->trigger();
    const QString id = (*items)[1].id();
    EXPECT_EQ(calls, (std::vector<QString>{"copy 0.jpg", "add " + album.id.toString(QUuid::WithoutBraces) + " " + id,
                                           "favorite " + id, "remove " + id}));
}

TEST_F(GalleryGridTest, ThumbnailsArriveAndFadeInOnce)
{
    Motion::shared().setOverride(false);
    auto items = std::make_shared<std::vector<MediaItem>>(*photos(30));
    // One photo with no thumbnail yet: it is rendered from its file.
    const QString file = pathOf("late.jpg");
    ASSERT_TRUE(test::makeJpeg(file, QSize(400, 300), {}, Qt::red));
    (*items)[5].setPath(file);
    (*items)[5].setThumbnailKey(std::nullopt);
    grid->setItems(items, 1);
    grid->show();

    EXPECT_LT(grid->preview(0)->opacity(), 1); // a memory hit fades in too
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->preview(0)->opacity() == 1.0; }, 30000))
        << grid->preview(0)->opacity();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !grid->preview(5)->image().isNull(); }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->preview(5)->opacity() == 1.0; }, 30000))
        << grid->preview(5)->opacity();

    // A favourite toggled elsewhere reloads the grid; the tiles keep their
    // images without fading again, so the grid does not flash.
    auto toggled = std::make_shared<std::vector<MediaItem>>(*items);
    (*toggled)[0].setFavorite(!(*toggled)[0].isFavorite());
    grid->setItems(toggled, 2);
    EXPECT_EQ(grid->preview(0)->opacity(), 1.0);
    EXPECT_EQ(grid->preview(5)->opacity(), 1.0);
    const QPoint centre = centreOf(0);
    EXPECT_EQ(render().pixel(centre), colorOf(0).rgb());
}

TEST_F(GalleryGridTest, TheAnchoredPhotoStaysInViewAcrossDensityAndWidthChanges)
{
    grid->setItems(photos(3000), 1);
    grid->show();
    grid->verticalScrollBar()->setValue(20000);
    const double middle = grid->viewport()->height() / 2.0;
    const int anchored = grid->layout().anchor(20000 + middle)->index;
    for (double height : {110.0, 300.0, 230.0}) {
        grid->setRowHeight(height);
        const QRectF tile = *grid->tileRect(anchored);
        EXPECT_LE(tile.top(), middle + 1) << height;
        EXPECT_GE(tile.bottom() + 8, middle - 1) << height;
    }

    // Animated, the same place is reached frame by frame; near the end the
    // view scrolls only as far as the content goes.
    Motion::shared().setOverride(false);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    const int last = grid->layout().anchor(grid->verticalScrollBar()->value() + middle)->index;
    grid->setRowHeight(110);
    EXPECT_TRUE(grid->isAnimatingRowHeight());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !grid->isAnimatingRowHeight(); }, 30000));
    EXPECT_EQ(grid->verticalScrollBar()->value(), grid->verticalScrollBar()->maximum());
    EXPECT_TRUE(grid->tileRect(last)->intersects(grid->viewport()->rect()));
    Motion::shared().setOverride(true);

    // Width changes keep the photo at the top; a burst of them is a live
    // resize that only scales the rows until it ends.
    double now = 10;
    grid->setClock([&now] { return now; });
    // A position 10 pixels into a row, not in the gap above it.
    grid->verticalScrollBar()->setValue(int(15000 - grid->layout().anchor(15000)->offset + 10));
    const int top = grid->layout().anchor(grid->verticalScrollBar()->value())->index;
    grid->resize(700, 600);
    EXPECT_LE(grid->tileRect(top)->top(), 1);
    EXPECT_GT(grid->tileRect(top)->bottom(), 0);
    const int rows = grid->layout().rowCount();
    now += 0.1;
    grid->resize(500, 600);
    EXPECT_TRUE(grid->layout().frozenWidth());
    EXPECT_EQ(grid->layout().rowCount(), rows);
    EXPECT_LT(grid->layout().scale(), 1);
    grid->endLiveResize();
    EXPECT_GT(grid->layout().rowCount(), rows);
    EXPECT_LE(grid->tileRect(top)->top(), 1);
    EXPECT_GT(grid->tileRect(top)->bottom(), 0);
}

TEST_F(GalleryGridTest, ScrollingPausesThumbnailPreparationAndAWidthChangeDoesNot)
{
    grid->setItems(photos(500), 1);
    grid->show();
    grid->resize(700, 600);
    EXPECT_FALSE(thumbnails->queue().isSuspended());
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() + 1);
    EXPECT_TRUE(thumbnails->queue().isSuspended());
    EXPECT_TRUE(thumbnails->preparationPause().hasResumePending());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !thumbnails->queue().isSuspended(); }, 30000));
}

TEST_F(GalleryGridTest, OnceABrowseEndsOnlyTheRecentThumbnailsStayInMemoryAndTheHeapIsTrimmed)
{
    int releases = 0;
    grid->setReleaseMemory([&releases] { ++releases; });
    const MediaItems items = photos(150); // about 80 MB of thumbnails
    grid->setItems(items, 1);
    grid->show();
    QScrollBar& bar = *grid->verticalScrollBar();
    for (int position = 0; position < bar.maximum(); position += grid->viewport()->height()) {
        bar.setValue(position);
        QCoreApplication::processEvents();
    }
    bar.setValue(bar.maximum());
    ASSERT_TRUE(QTest::qWaitFor([&releases] { return releases > 0; }, 10000));

    EXPECT_EQ(releases, 1);
    EXPECT_LE(thumbnails->memory().totalCost(), ThumbnailStoreLimits().restingMemoryCost);
    EXPECT_EQ(RotatablePreviewView::bareTileCount(), 0u) << "the placeholders shown while thumbnails loaded";
    EXPECT_EQ(PictureBuffers::unusedBytes(), 0u) << "the tiles' memory kept for the next scroll";
    // What is on screen was used last, so it is what memory keeps.
    int inView = 0;
    for (int index = 0; index < int(items->size()); ++index) {
        if (grid->tileRect(index)->intersects(grid->viewport()->rect())) {
            ++inView;
            EXPECT_FALSE(thumbnails->memory().image(*(*items)[index].thumbnailKey()).isNull()) << index;
        }
    }
    EXPECT_GT(inView, 5);
}

TEST_F(GalleryGridTest, DurationsBadgesAndTheDateBubble)
{
    const std::pair<std::optional<double>, QString> durations[] = {
        {59.9, "  ▶  0:59  "}, {3725, "  ▶  62:05  "}, {std::nullopt, "  ▶  0:00  "},
        {std::nan(""), "  ▶  0:00  "}, {-5, "  ▶  0:00  "}, {INFINITY, "  ▶  0:00  "}};
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(durationText(seconds), text);
    }

    EXPECT_EQ(GalleryGrid::dateBubbleRect(QSize(800, 600), 300, 40), QRect(673, 284, 105, 32));
    EXPECT_EQ(GalleryGrid::dateBubbleRect(QSize(800, 600), 0, 120), QRect(634, 2, 144, 32));
    EXPECT_EQ(GalleryGrid::dateBubbleRect(QSize(800, 600), 599, 40).bottom(), 600 - 6 - 1);

    // The disconnected dot shows only for tiles of offline sources.
    grid->setItems(photos(10), 1);
    grid->show();
    const QRectF tile = *grid->tileRect(0);
    const QPoint dot = QPointF(tile.right() - 14, tile.top() + 14).toPoint();
    EXPECT_EQ(render().pixel(dot), colorOf(0).rgb());
    grid->setOfflineSourceIDs({sourceID});
    EXPECT_EQ(render().pixel(dot), PivraAppearance::systemRed(false).rgb());

    // Holding the knob shows the month in the middle of the view beside it.
    grid->setItems(photos(400), 2);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() / 2);
    grid->verticalScrollBar()->setSliderDown(true);
    EXPECT_TRUE(grid->dateBubble()->isVisible());
    EXPECT_EQ(grid->dateBubble()->text(),
              grid->layout().month(grid->verticalScrollBar()->value() + grid->viewport()->height() / 2.0));
    EXPECT_EQ(grid->dateBubble()->geometry().right(), grid->width() - 22 - 1);
    grid->verticalScrollBar()->setSliderDown(false);
    EXPECT_FALSE(grid->dateBubble()->isVisible());
}

// A tile narrower than the duration badge gets a shorter form of it, inside
// its edges: at the smallest size a portrait video's badge leaves the gap
// beside it as clear as its neighbours' do.
TEST_F(GalleryGridTest, TheDurationBadgeFitsItsTileAtTheSmallestSize)
{
    const QFont font = semiboldFont(11);
    const double full = textPillSize(durationText(8), font).width();
    const double compact = textPillSize(QStringLiteral(" ▶ 0:08 "), font).width();
    const double glyph = textPillSize(QStringLiteral(" ▶ "), font).width();
    const std::pair<double, QString> widths[] = {
        {full, durationText(8)}, {full - 1, QStringLiteral(" ▶ 0:08 ")}, {compact - 1, QStringLiteral(" ▶ ")},
        {glyph, QStringLiteral(" ▶ ")}, {glyph - 1, QString()}};
    for (const auto& [width, text] : widths) {
        EXPECT_EQ(fittedDurationText(8, width, font), text) << width;
    }

    auto items = std::make_shared<std::vector<MediaItem>>();
    for (int i = 0; i < 24; ++i) {
        const bool portrait = i % 4 != 0;
        MediaItem item = test::galleryPhoto(sourceID, i, portrait ? QSize(1080, 1920) : QSize(1920, 1080),
                                            1.7e9 - i * 60.0);
        item.setKind(MediaKind::video);
        item.setDuration(8.4);
        items->push_back(item);
    }
    grid->setRowHeight(110);
    grid->setItems(items, 1);
    grid->show();
    const QImage image = render();
    image.save(test::rendersFolder() + QStringLiteral("/grid-narrow-video-badges.png"));
    const int pillHeight = qCeil(textPillSize(durationText(8), font).height());
    int narrow = 0;
    for (int index = 0; index < int(items->size()); ++index) {
        const QRect tile = grid->tileRect(index)->toAlignedRect();
        SCOPED_TRACE(index);
        ASSERT_TRUE(image.rect().contains(tile));
        narrow += tile.width() < full + 16 ? 1 : 0;
        const int badgeRow = tile.bottom() - 8 - pillHeight / 2;
        EXPECT_EQ(image.pixelColor(tile.left() - 3, badgeRow).rgb(), PivraAppearance::lightCanvas.rgb());
        EXPECT_LT(qGray(image.pixel(tile.right() - 9 - 2, badgeRow)), 100) << "the badge shows";
    }
    EXPECT_GE(narrow, 10);
}

TEST_F(GalleryGridTest, ReadersHearEachTileByNameAndMayOpenIt)
{
    std::vector<QString> opened;
    GalleryCallbacks callbacks;
    callbacks.onSelect = [&opened](const MediaItem& item) { opened.push_back(item.name()); };
    grid->setCallbacks(callbacks);
    const QUuid away = QUuid::createUuid();
    auto items = std::make_shared<std::vector<MediaItem>>(*photos(40));
    for (int index : {2, 39}) {
        (*items)[index].setSourceID(away);
    }
    grid->setItems(items, 1);
    grid->setOfflineSourceIDs({away});
    grid->show();

    QAccessibleInterface* tiles = QAccessible::queryAccessibleInterface(grid->viewport());
    ASSERT_NE(tiles, nullptr);
    EXPECT_EQ(tiles->role(), QAccessible::List);
    ASSERT_EQ(tiles->childCount(), 40);
    struct Row {
        int index;
        QString name;
        QString description;
        bool inView;
    };
    const Row rows[] = {{0, "0.jpg", "", true},
                        {1, "1.jpg", "Favorite", true},
                        {2, "2.jpg, disconnected", "", true},
                        {39, "39.jpg, disconnected", "", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        QAccessibleInterface* tile = tiles->child(row.index);
        ASSERT_NE(tile, nullptr);
        EXPECT_EQ(tile, tiles->child(row.index)); // asked again, the same element
        EXPECT_EQ(tile->role(), QAccessible::ListItem);
        EXPECT_EQ(tile->text(QAccessible::Name), row.name);
        EXPECT_EQ(tile->text(QAccessible::Description), row.description);
        EXPECT_EQ(tile->parent(), tiles);
        EXPECT_EQ(tiles->indexOfChild(tile), row.index);
        const QRect rect = grid->tileRect(row.index)->toAlignedRect();
        EXPECT_EQ(tile->rect(), QRect(grid->viewport()->mapToGlobal(rect.topLeft()), rect.size()));
        EXPECT_EQ(tile->state().offscreen, !row.inView);
        if (row.inView) {
            const QPoint centre = grid->viewport()->mapToGlobal(rect.center());
            EXPECT_EQ(tiles->childAt(centre.x(), centre.y()), tile);
        }
    }

    // Back online, a tile is read by its name alone; pressing it opens it.
    grid->setOfflineSourceIDs({});
    QAccessibleInterface* third = tiles->child(2);
    EXPECT_EQ(third->text(QAccessible::Name), "2.jpg");
    third->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(opened, std::vector<QString>{"2.jpg"});

    // Another list drops the elements asked for, which meant the old items.
    const QAccessible::Id asked = QAccessible::uniqueId(third);
    grid->setItems(photos(5), 2);
    EXPECT_EQ(QAccessible::accessibleInterface(asked), nullptr);
    EXPECT_EQ(tiles->childCount(), 5);
    EXPECT_EQ(tiles->child(4)->text(QAccessible::Name), "4.jpg");
    EXPECT_EQ(tiles->child(5), nullptr);
}

// Smooth rescaling is the costly part of a frame: a tile changing size every
// frame (a density animation, a live resize) draws the picture it has, and is
// rescaled once, when it stops.
TEST_F(GalleryGridTest, TilesAreRescaledOnceTheyStopChangingSizeNotEveryFrame)
{
    grid->setItems(photos(300), 1);
    grid->show();
    const auto totalRescales = [this] {
        int total = 0;
        for (int index = 0; index < int(grid->items()->size()); ++index) {
            total += grid->preview(index) ? grid->preview(index)->rescaleCount() : 0;
        }
        return total;
    };
    // Each way of changing size, painting a frame at every step.
    using Resize = std::function<void(const std::function<void()>& frame)>;
    const std::vector<std::pair<const char*, Resize>> resizes{
        {"density animation",
         [this](const std::function<void()>& frame) {
             Motion::shared().setOverride(false);
             grid->setRowHeight(230);
             for (QCoreApplication::processEvents(); grid->isAnimatingRowHeight();
                  QCoreApplication::processEvents()) {
                 frame();
             }
         }},
        {"live resize",
         [this](const std::function<void()>& frame) {
             grid->beginLiveResize();
             for (int width : {760, 720, 680}) {
                 grid->resize(width, 600);
                 frame();
             }
         }},
    };
    for (const auto& [name, resize] : resizes) {
        SCOPED_TRACE(name);
        const std::map<int, int> before = settle();
        const int total = totalRescales();
        int frames = 0;
        resize([&] {
            render();
            ++frames;
            EXPECT_EQ(totalRescales(), total) << "a tile was rescaled while it changes size";
        });
        EXPECT_GE(frames, 3);
        grid->endLiveResize();
        for (const auto& [index, count] : settle()) {
            EXPECT_EQ(count, (before.contains(index) ? before.at(index) : 0) + 1) << index;
        }
    }
}

// A clip's new frame repaints its own tile, not the whole grid.
TEST_F(GalleryGridTest, AHoverClipFrameRepaintsOnlyItsTile)
{
    grid->setItems(photos(40), 1);
    grid->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    QTest::mouseMove(grid->viewport(), centreOf(3));
    settle();

    struct PaintedRegion : QObject {
        std::optional<QRegion> region;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                region = static_cast<QPaintEvent*>(event)->region();
            }
            return false;
        }
    } painted;
    grid->viewport()->installEventFilter(&painted);
    // What showing, hovering and settling asked for is painted first: until a
    // turn of the event loop paints nothing.
    ASSERT_TRUE(QTest::qWaitFor([&] { return [&] {
        painted.region.reset();
        QCoreApplication::processEvents();
        return !painted.region;
    }(); }));
    Q_EMIT grid->hoverPlayer().frameChanged();
    ASSERT_TRUE(QTest::qWaitFor([&] { return painted.region.has_value(); }, 30000));
    const QRect tile = grid->tileRect(3)->toAlignedRect();
    EXPECT_TRUE(tile.adjusted(-8, -8, 8, 8).contains(painted.region->boundingRect()));
}

TEST_F(GalleryGridTest, RendersOfAMonthGroupedGallery)
{
    grid->setItems(photos(120), 1);
    grid->resize(1000, 700);
    grid->show();
    for (bool dark : {false, true}) {
        grid->setPalette(PivraAppearance::palette(dark));
        for (double height : {110.0, 190.0, 300.0}) {
            grid->setRowHeight(height);
            grid->verticalScrollBar()->setValue(300);
            const QImage image = render();
            EXPECT_EQ(image.pixelColor(5, 5), PivraAppearance::canvas(dark));
            image.save(test::rendersFolder() + QStringLiteral("/gallery-grid-%1-%2.png")
                                                    .arg(dark ? "dark" : "light")
                                                    .arg(int(height)));
        }
    }
}

} // namespace
} // namespace pivra
