#include "map/PhotoMapTestKit.h"
#include "map/TileServerKit.h"

#include "map/photos/PhotoPin.h"
#include "platform/runtime/Drain.h"
#include "style/controls/PaintedAccessible.h"
#include "support/desktop/Renders.h"
#include "support/files/JpegMaker.h"

#include <QLocale>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace pivra::test {
namespace {

TEST_F(PhotoMapTest, TheFirstPhotosAreFittedOnceAndAnUnchangedSignatureIsIgnored)
{
    photos_->setPhotos({});
    QCoreApplication::processEvents();
    EXPECT_EQ(photos_->signature(), QStringList{QStringLiteral("0")});
    EXPECT_TRUE(photos_->pins().isEmpty());
    EXPECT_TRUE(photos_->needsFit());

    const std::vector<MapPhoto> first{photo(1, 41.0, 29.0, 3), photo(2, 41.5, 29.1, 2), photo(3, 41.9, 29.0, 1)};
    photos_->setPhotos(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !photos_->needsFit(); }, 30000));
    const MapRect visible = view_->visibleMapRect();
    for (const MapPhoto& located : first) {
        EXPECT_TRUE(visible.contains(mapPointFor(located.latitude(), located.longitude())));
    }

    // The same count, first and last: the middle photo is not taken, and the map stays.
    photos_->setPhotos({first[0], photo(9, 10, 10, 2), first[2]});
    EXPECT_EQ(photos_->photos()[1].id(), first[1].id());
    EXPECT_EQ(view_->visibleMapRect(), visible);
}

// With tiles a focus shows at least 1500 m a side inside 100 pixels of
// padding; the drawn map alone stops where it still has names and coasts.
TEST_F(PhotoMapTest, AFocusIsShownOncePerIdAndCancelsTheFirstFit)
{
    TileServer server(Qt::white);
    for (const bool tiles : {true, false}) {
        SCOPED_TRACE(tiles ? "tiles" : "drawn map");
        view_->setTileURL(tiles ? server.urlTemplate() : QString());
        photos_ = std::make_unique<PhotoMap>(*view_, thumbnails_);
        const MapPoint paris = mapPointFor(48.85, 2.35);
        const MapPoint sydney = mapPointFor(-33.9, 151.2);
        const MapFocus focus{QUuid::createUuid(), MapRect::at(paris)};
        photos_->show(focus);
        photos_->setPhotos({photo(1, -33.9, 151.2)});
        // Both the focus and the first fit wait for the event loop: once
        // everything queued has run, the focus is what shows.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return view_->visibleMapRect().contains(paris) && !view_->visibleMapRect().contains(sydney); },
            30000));
        ASSERT_TRUE(drain());
        EXPECT_TRUE(view_->visibleMapRect().contains(paris));
        EXPECT_FALSE(view_->visibleMapRect().contains(sydney));
        EXPECT_FALSE(photos_->needsFit());
        if (tiles) {
            EXPECT_NEAR(view_->visibleMapRect().height * 400 / 600, 1500 * mapPointsPerMeter(48.85), 1e-3);
        } else {
            EXPECT_DOUBLE_EQ(view_->camera().zoom(), MapView::baseMapDetailZoom);
        }

        const MapRect shown = view_->visibleMapRect();
        photos_->show({focus.id, MapRect::at(mapPointFor(0, 0))});
        ASSERT_TRUE(drain());
        EXPECT_EQ(view_->visibleMapRect(), shown);
    }
}

TEST_F(PhotoMapTest, PinsAreKeptByRepresentativeAcrossPassesAndFollowAMovedPhoto)
{
    const MapPhoto newer = photo(1, 41.0, 29.0, 2);
    const MapPhoto older = photo(2, 41.001, 29.001, 1);
    photos_->setPhotos({newer, older});
    view_->setCamera(mapPointFor(41.0, 29.0), 8);
    ASSERT_EQ(photos_->pins().size(), 1);
    const std::shared_ptr<PhotoMap::Pin> kept = pinOf(newer);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->view->countText(), QStringLiteral("2"));

    view_->setCamera(mapPointFor(41.0, 29.0), 17);
    ASSERT_EQ(photos_->pins().size(), 2);
    EXPECT_EQ(pinOf(newer), kept);
    EXPECT_TRUE(kept->view->countText().isEmpty());
    EXPECT_EQ(kept->view->requestsMade(), 1);

    const MapPhoto moved = photo(1, 41.0005, 29.0, 2);
    photos_->setPhotos({moved, older, photo(3, 0, 0, 0)});
    EXPECT_EQ(pinOf(moved), kept);
    EXPECT_EQ(kept->point, mapPointFor(41.0005, 29.0));
    EXPECT_DOUBLE_EQ(kept->photo.latitude(), 41.0005);
}

// A wider window shows more of the world: once the size rests the pins are
// those a fresh pass over the new region gives, without any other event.
TEST_F(PhotoMapTest, ResizingTheMapRegroupsThePins)
{
    std::vector<MapPhoto> row;
    for (int i = 0; i < 18; ++i) {
        row.push_back(photo(i, 0, -170 + 20 * i, 100 - i));
    }
    view_->resize(600, 600);
    photos_->setPhotos(row);
    view_->setCamera(mapPointFor(0, 0), 3);
    EXPECT_LT(photos_->pins().size(), 10);

    // The whole world fits 2400 pixels at this zoom, and the photos lie 114
    // pixels apart: one pin each.
    view_->resize(2400, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return photos_->pins().size() == 18; }, 30000)) << photos_->pins().size();
    photos_->recluster();
    EXPECT_EQ(photos_->pins().size(), 18);
}

TEST_F(PhotoMapTest, AClickOpensAPinOfOnePhotoAndHandsOutAPinOfSeveral)
{
    QSignalSpy opened(photos_.get(), &PhotoMap::opened);
    QSignalSpy selected(photos_.get(), &PhotoMap::selected);
    const MapPhoto alone = photo(1, 10, 10, 9);
    const std::vector<MapPhoto> together{photo(2, -10, -10, 3), photo(3, -10, -10, 2), photo(4, -10, -10, 1)};
    photos_->setPhotos({alone, together[0], together[1], together[2]});
    view_->setCamera(mapPointFor(0, 0), 4);
    view_->setCoveredInsets(QMargins(0, 56, 0, 0));

    QTest::mouseClick(view_.get(), Qt::LeftButton, {}, onPin(*pinOf(alone)));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].value<MediaItem>().id(), alone.id());
    EXPECT_EQ(selected.size(), 0);

    QTest::mouseClick(view_.get(), Qt::LeftButton, {}, onPin(*pinOf(together[0])));
    ASSERT_EQ(selected.size(), 1);
    const auto selection = selected[0][0].value<MapSelection>();
    EXPECT_EQ(selection.ids, QSet<QString>({together[0].id(), together[1].id(), together[2].id()}));
    EXPECT_EQ(selection.latitude, -10);
    EXPECT_EQ(selection.span, 0);

    // The same pin under the header's strip takes no click there, only below it.
    const QPointF place = photos_->screenPlace(*pinOf(alone));
    view_->setCamera(view_->camera().toMap(place + QPointF(0, view_->height() / 2.0 - 90)), 4);
    const QPointF raised = photos_->screenPlace(*pinOf(alone));
    ASSERT_NEAR(raised.y(), 90, 1);
    QTest::mouseClick(view_.get(), Qt::LeftButton, {}, QPoint(int(raised.x()), 40));
    EXPECT_EQ(opened.size(), 1);
    QTest::mouseClick(view_.get(), Qt::LeftButton, {}, QPoint(int(raised.x()), 80));
    EXPECT_EQ(opened.size(), 2);
}

TEST_F(PhotoMapTest, ReadersHearThePinsAndCanPressThem)
{
    QSignalSpy opened(photos_.get(), &PhotoMap::opened);
    photos_->setPhotos({photo(1, 10, 10, 3), photo(2, -10, -10, 2), photo(3, -10, -10, 1)});
    view_->setCamera(mapPointFor(0, 0), 4);
    PaintedAccessible* map = PaintedAccessible::of(view_.get());
    ASSERT_TRUE(map);
    ASSERT_EQ(map->partCount(), 2);
    QStringList names;
    for (int i = 0; i < map->partCount(); ++i) {
        names << map->part(i)->text(QAccessible::Name);
    }
    EXPECT_EQ(names, QStringList({QStringLiteral("1.jpg"), QStringLiteral("2 photos")}));
    map->part(0)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].value<MediaItem>().name(), QStringLiteral("1.jpg"));
}

TEST_F(PhotoMapTest, ASelectionSpansTheLongerSideOfItsPhotosInMetres)
{
    const std::vector<MapPhoto> pair{photo(1, 0, 0, 2), photo(2, 0, 0.01, 1)};
    photos_->setPhotos(pair);
    view_->setCamera(mapPointFor(0, 0.005), 5);
    ASSERT_EQ(photos_->pins().size(), 1);
    // 0.01° of longitude at the equator.
    EXPECT_NEAR(photos_->selectionOf(*pinOf(pair[0])).span, 1113.19, 0.01);
}

TEST_F(PhotoMapTest, APinShowsItsCountInTheLocalesFormatAndLoadsEachRepresentativeOnce)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto pin = std::make_shared<PhotoPin>(thumbnails_, nullptr);
    const MapPhoto first = photo(1, 0, 0);
    pin->show(first, 1234);
    EXPECT_EQ(pin->countText(), QStringLiteral("1,234"));
    EXPECT_EQ(pin->accessibleName(), QStringLiteral("1234 photos"));
    pin->show(first, 5);
    EXPECT_EQ(pin->countText(), QStringLiteral("5"));
    EXPECT_EQ(pin->requestsMade(), 1);
    pin->show(photo(2, 0, 0), 1);
    EXPECT_TRUE(pin->countText().isEmpty());
    EXPECT_EQ(pin->accessibleName(), QStringLiteral("2.jpg"));
    EXPECT_EQ(pin->requestsMade(), 2);
    QLocale::setDefault(previous);
}

// The count reads on the lightest photo: white over a shadow dark beside the
// glyphs, which fades out close around them and never darkens the frame or
// the map. Drawn into the build's renders/ too.
TEST_F(PhotoMapTest, APinsCountReadsOnALightPhotoAndItsShadowStaysByItsGlyphs)
{
    QImage light(300, 300, QImage::Format_RGB32);
    light.fill(QColor(240, 240, 235));
    const QString path = pathOf(QStringLiteral("light.jpg"));
    ASSERT_TRUE(light.save(path, "JPG", 95));
    MediaItem item = galleryPhoto(source_, 1, {300, 300}, 0);
    item.setPath(path);
    item.setID(MediaItem::makeID(source_, path));
    item.setFileSize(QFileInfo(path).size());
    const MapPhoto photo(item, 0, 0);
    auto pin = std::make_shared<PhotoPin>(thumbnails_, nullptr);
    pin->show(photo, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pin->hasImage(); }, 30000));
    for (const double ratio : {1.0, 2.0}) {
        SCOPED_TRACE(ratio);
        const auto drawn = [&](int count) {
            pin->show(photo, count);
            QImage image((QSizeF(100, 100) * ratio).toSize(), QImage::Format_RGB32);
            image.setDevicePixelRatio(ratio);
            image.fill(QColor(0xaa, 0xd3, 0xe6));
            QPainter painter(&image);
            pin->paint(painter, {50, 85});
            return image;
        };
        const QImage plain = drawn(1);
        const QImage counted = drawn(1234);
        counted.save(rendersFolder() + QStringLiteral("/photo-pin-count@%1x.png").arg(ratio));
        // How the count changed each pixel: brighter on its glyphs, darker in their shadow.
        const auto change = [&](int x, int y) { return qGray(counted.pixel(x, y)) - qGray(plain.pixel(x, y)); };
        const int reach = qRound(6 * ratio);
        const auto byGlyph = [&](int x, int y) {
            for (int dy = -reach; dy <= reach; ++dy) {
                for (int dx = -reach; dx <= reach; ++dx) {
                    if (QRect(QPoint(), counted.size()).contains(x + dx, y + dy) && change(x + dx, y + dy) > 8) {
                        return true;
                    }
                }
            }
            return false;
        };
        int darkest = 255;
        int brightest = 0;
        for (int y = 0; y < counted.height(); ++y) {
            for (int x = 0; x < counted.width(); ++x) {
                if (change(x, y) == 0) {
                    continue;
                }
                // The frame's inner square spans x 22..78 and y 18..74 here.
                ASSERT_TRUE(QRectF(22, 18, 56, 56).contains(QPointF(x + 0.5, y + 0.5) / ratio)) << x << "," << y;
                ASSERT_TRUE(change(x, y) > -6 || byGlyph(x, y)) << "a shadow apart from the count at " << x << "," << y;
                darkest = std::min(darkest, qGray(counted.pixel(x, y)));
                brightest = std::max(brightest, qGray(counted.pixel(x, y)));
            }
        }
        EXPECT_LT(darkest, 110) << "the shadow beside a glyph";
        EXPECT_GT(brightest, 250) << "the glyphs";
    }
}

// A photo red above and blue below, turned a quarter clockwise, shows red on
// the right; upright again once the pin shows an unturned photo.
TEST_F(PhotoMapTest, APinTurnsItsPhotoByTheStoredQuarterTurns)
{
    QImage halves(300, 300, QImage::Format_RGB32);
    halves.fill(Qt::blue);
    QPainter(&halves).fillRect(0, 0, 300, 150, Qt::red);
    const auto locatedFile = [&](int index, int quarters) {
        const QString path = pathOf(QStringLiteral("%1.jpg").arg(index));
        EXPECT_TRUE(halves.save(path, "JPG", 95));
        MediaItem item = galleryPhoto(source_, index, {300, 300}, 0);
        item.setPath(path);
        item.setID(MediaItem::makeID(source_, path));
        item.setFileSize(QFileInfo(path).size());
        item.setRotationQuarters(quarters);
        return MapPhoto(item, 0, 0);
    };
    auto pin = std::make_shared<PhotoPin>(thumbnails_, nullptr);
    const auto drawn = [&] {
        QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        pin->paint(painter, {50, 85});
        return image;
    };
    const auto hue = [](QRgb pixel) { return qRed(pixel) > qBlue(pixel) ? 'r' : 'b'; };
    // The frame's inner square spans x 22..78 and y 18..74 here.
    pin->show(locatedFile(1, 1), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pin->hasImage(); }, 30000));
    QImage turned = drawn();
    EXPECT_EQ(hue(turned.pixel(70, 46)), 'r');
    EXPECT_EQ(hue(turned.pixel(30, 46)), 'b');

    pin->show(locatedFile(2, 0), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pin->hasImage(); }, 30000));
    QImage upright = drawn();
    EXPECT_EQ(hue(upright.pixel(50, 24)), 'r');
    EXPECT_EQ(hue(upright.pixel(50, 68)), 'b');
}

} // namespace
} // namespace pivra::test
