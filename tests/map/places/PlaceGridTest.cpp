#include "map/LibraryMap.h"
#include "map/view/MapView.h"
#include "map/places/PlaceGrid.h"
#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "store/places/PlaceNamer.h"
#include "style/controls/PaintedAccessible.h"
#include "style/motion/Motion.h"
#include "style/appearance/PivraAppearance.h"
#include "support/fakes/GalleryItems.h"
#include "support/desktop/Renders.h"
#include "support/system/TempFolder.h"

#include <QCryptographicHash>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <deque>

namespace pivra::test {
namespace {

using namespace std::chrono_literals;
constexpr double hour = 3600;
const Timestamp march12 = 1'710'226'800; // 2024-03-12 10:00 in Istanbul

// A geocoder that answers when the test says.
struct HeldGeocoder : ReverseGeocoder {
    struct Lookup {
        double latitude;
        double longitude;
        Completion done;
    };
    std::deque<Lookup>* lookups;

    explicit HeldGeocoder(std::deque<Lookup>* log) : lookups(log) {}
    void reverseGeocode(double latitude, double longitude, QObject*, Completion done) override
    {
        lookups->push_back({latitude, longitude, std::move(done)});
    }
    std::chrono::milliseconds pauseBetweenLookups() const override { return 0ms; }
};

struct Spot {
    double latitude;
    double longitude;
    Placemark placemark;
};
const Spot kadikoy{40.99, 29.03, {.locality = "Kadıköy", .administrativeArea = "İstanbul", .country = "Türkiye"}};
const Spot paris{48.85, 2.35, {.locality = "Paris", .country = "France"}};
const Spot kyoto{35.01, 135.77, {.locality = "Kyoto", .administrativeArea = "Kyoto", .country = "Japan"}};
const Spot sea{30.0, -40.0, {}};

class PlaceGridTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        Motion::shared().setOverride(true);
        // The next lookup starts as soon as one is answered.
        namer_ = std::make_unique<PlaceNamer>(
            std::make_unique<HeldGeocoder>(&lookups_),
            [](std::chrono::milliseconds, QObject*, std::function<void()> then) { then(); }, nullptr,
            pathOf("places.json"));
        grid_ = std::make_unique<PlaceGrid>(*namer_, thumbnails_);
        grid_->setDateFormat(QLocale(QLocale::English, QLocale::UnitedStates), QTimeZone("Europe/Istanbul"));
        grid_->resize(800, 600);
        grid_->show();
    }
    void TearDown() override
    {
        grid_.reset();
        namer_.reset();
        Motion::shared().setOverride(std::nullopt);
        QLocale::setDefault(QLocale::c());
    }

    // Photo `index` at a spot, its thumbnail in memory in a colour of its own.
    MapPhoto photo(int index, const Spot& spot, Timestamp date)
    {
        MediaItem item = galleryPhoto(source_, index, {400, 300}, date);
        const QString key = QCryptographicHash::hash(item.path().toUtf8(), QCryptographicHash::Sha256).toHex();
        item.setThumbnailKey(key);
        QImage image(420, 315, QImage::Format_RGB32);
        image.fill(colorOf(index));
        thumbnails_.memory().insert(key, image);
        return {item, spot.latitude, spot.longitude};
    }
    static QColor colorOf(int index) { return QColor::fromHsv(index * 47 % 360, 160, 200); }

    // Two photos one morning in Kadıköy, a video in Paris, one at sea, two
    // in Kyoto either side of midnight.
    std::vector<MapPhoto> places()
    {
        MapPhoto video = photo(2, paris, march12 - 48 * hour);
        MediaItem item = video.item();
        item.setKind(MediaKind::video);
        item.setDuration(75.9);
        return {photo(0, kadikoy, march12), photo(1, kadikoy, march12 - hour), {item, paris.latitude, paris.longitude},
                photo(3, sea, march12 - 72 * hour), photo(4, kyoto, march12 - 96 * hour),
                photo(5, kyoto, march12 - 107 * hour)};
    }

    // Answers every lookup waiting, one at a time as the namer asks.
    void answerAll()
    {
        while (!lookups_.empty()) {
            HeldGeocoder::Lookup lookup = std::move(lookups_.front());
            lookups_.pop_front();
            Placemark found; // open sea unless a spot is there
            for (const Spot* spot : {&kadikoy, &paris, &kyoto}) {
                if (spot->latitude == lookup.latitude && spot->longitude == lookup.longitude) {
                    found = spot->placemark;
                }
            }
            lookup.done(GeocodeResult{{found}, std::nullopt});
        }
    }

    // Every header's line, joined by " | ".
    std::string titles() const
    {
        QStringList list;
        for (int section = 0; section < int(grid_->groups().size()); ++section) {
            list << grid_->sectionTitle(section) + u" · " + grid_->dateText(section) +
                        grid_->regionText(section).value_or(QString()).prepend(u" · ");
        }
        return list.join(QStringLiteral(" | ")).toStdString();
    }

    // A frame composes the tiles that fit in its time (a sanitizer build
    // fits few); painted until a frame changes nothing, all are finished.
    QImage render() const
    {
        QImage image;
        for (QImage last;; last = image) {
            image = QImage(grid_->viewport()->size(), QImage::Format_RGB32);
            grid_->viewport()->render(&image);
            if (image == last) {
                return image;
            }
        }
    }

    QUuid source_ = QUuid::createUuid();
    ThumbnailStore thumbnails_{ThumbnailLocations::under(pathOf("data"), pathOf("cache")),
                               std::make_shared<ThumbnailRenderer>()};
    std::deque<HeldGeocoder::Lookup> lookups_;
    std::unique_ptr<PlaceNamer> namer_;
    std::unique_ptr<PlaceGrid> grid_;
};

TEST_F(PlaceGridTest, SectionsAreRetitledInPlaceAsNamesArrive)
{
    grid_->resize(800, 300);
    grid_->setPhotos(places());
    QCoreApplication::sendPostedEvents(); // the scroll bar has come, and the view narrowed
    ASSERT_EQ(grid_->groups().size(), 4u);
    EXPECT_EQ(titles(), "Locating… · Mar 12, 2024 ·  | Locating… · Mar 10, 2024 ·  | "
                        "Locating… · Mar 9, 2024 ·  | Locating… · Mar 7\u2009–\u20098, 2024 · ");
    EXPECT_FALSE(lookups_.empty()); // the sections in view asked for their places

    grid_->verticalScrollBar()->setValue(grid_->verticalScrollBar()->maximum());
    const int scrolled = grid_->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    answerAll();
    EXPECT_EQ(titles(), "Kadıköy · Mar 12, 2024 · İstanbul | Paris · Mar 10, 2024 · France | "
                        "— · Mar 9, 2024 ·  | Kyoto · Mar 7\u2009–\u20098, 2024 · Japan");
    EXPECT_EQ(grid_->verticalScrollBar()->value(), scrolled);

    // A header is exactly as wide as what it says, and nothing moved.
    const QRectF header = grid_->headerRect(3);
    EXPECT_EQ(grid_->tileRect(5)->top() - header.top(),
              grid_->layout().tileRect(3, 1).top() - grid_->layout().headerRect(3).top());
}

TEST_F(PlaceGridTest, ADifferentListOfTheSameSizeRegroups)
{
    std::vector<MapPhoto> first = places();
    grid_->setPhotos(first);
    std::vector<MapPhoto> second = first;
    second[3] = photo(3, kadikoy, march12 - 72 * hour); // same count, same first id
    second[5] = photo(9, paris, march12 - 100 * hour);
    grid_->setPhotos(second);
    ASSERT_EQ(grid_->groups().size(), 5u);
    EXPECT_EQ(grid_->groups()[2].id, second[3].id());
    EXPECT_EQ(grid_->groups()[3].count, 1);
    EXPECT_EQ(grid_->groups()[4].id, second[5].id());
    EXPECT_EQ(grid_->photos()[5].id(), second[5].id());
}

// The store's list is taken by its version: an unchanged version costs
// nothing whatever is passed, and a selection shows its part of the list.
TEST_F(PlaceGridTest, TheStoresListIsTakenByItsVersionAndFilteredBySelection)
{
    const std::vector<MapPhoto> located = places();
    grid_->showLocated(located, 1);
    EXPECT_EQ(grid_->photos().size(), located.size());
    grid_->showLocated({}, 1);
    EXPECT_EQ(grid_->photos().size(), located.size());

    grid_->setSelection(MapSelection{{located[1].id(), located[4].id()}, kadikoy.latitude, kadikoy.longitude, 10});
    grid_->showLocated(located, 1);
    ASSERT_EQ(grid_->photos().size(), 2u);
    EXPECT_EQ(grid_->photos()[1].id(), located[4].id());

    grid_->setSelection(std::nullopt);
    grid_->showLocated({located[0]}, 2);
    EXPECT_EQ(grid_->photos().size(), 1u);
}

TEST_F(PlaceGridTest, SelectionBarTitlesCountsAndTheWayBack)
{
    grid_->setPhotos(places());
    answerAll();
    const struct {
        Spot spot;
        double span;
        int photos;
        const char* title;
        const char* count;
    } rows[] = {
        {kadikoy, 25000, 2, "İstanbul", "2 items"},
        {kadikoy, 800, 1, "Kadıköy", "1 item"},
        {paris, 25000, 0, "France", "0 items"}, // a place without a region of its own has its country
        {{12.5, 12.5, {}}, 800, 2, "Selected area", "2 items"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        std::vector<MapPhoto> shown = places();
        shown.erase(shown.begin() + row.photos, shown.end());
        grid_->setPhotos(shown);
        // The count is of the photos shown, not of the ids picked.
        grid_->setSelection(MapSelection{{"a", "b", "c"}, row.spot.latitude, row.spot.longitude, row.span});
        EXPECT_EQ(grid_->selectionTitle(), QString::fromUtf8(row.title));
        EXPECT_EQ(grid_->countText(), QString::fromUtf8(row.count));
    }

    grid_->setPhotos(places());
    grid_->resize(800, 200);
    grid_->verticalScrollBar()->setValue(100);
    QSignalSpy back(grid_.get(), &PlaceGrid::showAll);
    grid_->setSelection(MapSelection{{"a"}, kyoto.latitude, kyoto.longitude, 10});
    EXPECT_EQ(grid_->verticalScrollBar()->value(), 0); // another selection opens at the top
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, grid_->showAllRect().center().toPoint());
    EXPECT_EQ(back.count(), 1);
}

// Readers hear "Show All Places", each header and each photo with its date
// and place; the keyboard walks them in that order and Return presses.
TEST_F(PlaceGridTest, ReadersAndTheKeyboardReachEveryPart)
{
    grid_->setPhotos(places());
    answerAll();
    grid_->setSelection(MapSelection{{"a"}, kyoto.latitude, kyoto.longitude, 10});
    grid_->show();
    PaintedAccessible* parts = PaintedAccessible::of(grid_->viewport());
    ASSERT_TRUE(parts);
    ASSERT_EQ(parts->partCount(), 1 + int(grid_->groups().size() + grid_->photos().size()));
    EXPECT_EQ(parts->part(0)->text(QAccessible::Name), QStringLiteral("Show All Places"));
    const QString header = parts->part(1)->text(QAccessible::Name);
    EXPECT_TRUE(header.startsWith(grid_->sectionTitle(0) + QStringLiteral(", ") + grid_->dateText(0))) << header.toStdString();
    EXPECT_EQ(parts->part(2)->text(QAccessible::Name), grid_->photos()[0].item().name() + QStringLiteral(", ")
                                                           + grid_->dateText(0) + QStringLiteral(", ")
                                                           + grid_->sectionTitle(0));
    const int secondHeader = 2 + grid_->groups()[0].count;
    EXPECT_EQ(grid_->part(secondHeader).kind, PlaceGrid::PartKind::header);
    EXPECT_EQ(grid_->part(secondHeader).index, 1);

    grid_->setFocus();
    QSignalSpy back(grid_.get(), &PlaceGrid::showAll);
    QSignalSpy opened(grid_.get(), &PlaceGrid::opened);
    QTest::keyClick(grid_.get(), Qt::Key_Tab);
    EXPECT_EQ(grid_->focusedPart(), 0);
    QTest::keyClick(grid_.get(), Qt::Key_Return);
    EXPECT_EQ(back.count(), 1);
    QTest::keyClick(grid_.get(), Qt::Key_Down);
    QTest::keyClick(grid_.get(), Qt::Key_Down);
    QTest::keyClick(grid_.get(), Qt::Key_Return);
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened[0][0].value<MediaItem>().id(), grid_->photos()[0].id());
}

TEST_F(PlaceGridTest, TilesOpenAndHeadersFocusTheMap)
{
    grid_->setPhotos(places());
    QSignalSpy opened(grid_.get(), &PlaceGrid::opened);
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, grid_->tileRect(1)->center().toPoint());
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened[0][0].value<MediaItem>().id(), grid_->photos()[1].id());

    LibraryMap map(thumbnails_);
    map.resize(900, 700);
    map.show();
    QObject::connect(grid_.get(), &PlaceGrid::showOnMap, &map, &LibraryMap::setMapFocus);
    const QRectF header = grid_->headerRect(3);
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, (header.topRight() + QPointF(-2, 8)).toPoint());
    const MapRect kyotoPhotos = grid_->groups()[3].focus(grid_->photos()).rect;
    // Without raster tiles the drawn map stops at the zoom it has names for.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return map.mapView()->visibleMapRect().contains(kyotoPhotos.center())
               && map.mapView()->camera().zoom() == MapView::baseMapDetailZoom;
    })) << map.mapView()->camera().zoom();
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, (header.topRight() + QPointF(40, 8)).toPoint());
    EXPECT_EQ(opened.count(), 1); // past the header's end is no click on it
}

TEST_F(PlaceGridTest, OnlyTilesNearTheViewHavePreviews)
{
    std::vector<MapPhoto> many;
    for (int index = 0; index < 3000; ++index) {
        // A new place every ten photos.
        many.push_back(photo(index, {40 + index / 10 * 0.1, 29, {}}, march12 - index * 60.0));
    }
    grid_->setPhotos(std::move(many));
    EXPECT_EQ(grid_->groups().size(), 300u);
    EXPECT_TRUE(grid_->preview(0));
    EXPECT_FALSE(grid_->preview(2999));
    int kept = 0;
    for (int index = 0; index < 3000; ++index) {
        kept += grid_->preview(index) ? 1 : 0;
    }
    EXPECT_LT(kept, 60);
    answerAll();
    EXPECT_LE(namer_->places().size(), 4); // only the sections in view asked for a name

    grid_->verticalScrollBar()->setValue(grid_->verticalScrollBar()->maximum());
    EXPECT_TRUE(grid_->preview(2999));
    EXPECT_FALSE(grid_->preview(0));
    answerAll();
    EXPECT_TRUE(namer_->place(grid_->groups().back().latitude, grid_->groups().back().longitude));
    EXPECT_FALSE(namer_->place(grid_->groups()[150].latitude, grid_->groups()[150].longitude));
}

TEST_F(PlaceGridTest, RendersInBothSchemes)
{
    grid_->resize(900, 640);
    grid_->setPhotos(places());
    answerAll();
    grid_->setSelection(MapSelection{{"a", "b"}, kadikoy.latitude, kadikoy.longitude, 25000});
    for (bool dark : {false, true}) {
        grid_->setPalette(PivraAppearance::palette(dark));
        const QImage image = render();
        EXPECT_EQ(image.pixelColor(2, 2), PivraAppearance::canvas(dark));
        for (int index : {0, 1, 2}) {
            EXPECT_EQ(image.pixel(grid_->tileRect(index)->center().toPoint() - QPoint(0, 20)), colorOf(index).rgb());
        }
        image.save(rendersFolder() + QStringLiteral("/place-grid-%1.png").arg(dark ? "dark" : "light"));
    }
}

} // namespace
} // namespace pivra::test
