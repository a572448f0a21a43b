#include "map/places/PlaceDateText.h"
#include "map/places/PlaceGridLayout.h"
#include "map/places/PlaceGroup.h"
#include "support/fakes/GalleryItems.h"

#include <QDateTime>
#include <QUuid>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace pivra::test {
namespace {

constexpr double hour = 3600;
const QTimeZone istanbul("Europe/Istanbul");

// Degrees of latitude spanning `metres` on the ground.
double north(double metres)
{
    return metres / (6'371'008.8 * std::numbers::pi / 180);
}

// Seconds since the epoch of a wall-clock time in Istanbul.
Timestamp at(const char* text)
{
    QDateTime wall = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    wall.setTimeZone(istanbul);
    return double(wall.toSecsSinceEpoch());
}

struct Shot {
    double metresNorth;
    double metresEast;
    Timestamp date;
};

struct GroupingRow {
    const char* name;
    std::vector<Shot> shots; // newest first, near 41° N 29° E
    std::vector<int> counts;
};

TEST(PlaceGroupTest, PhotosAreCutByPlaceAndTime)
{
    const double t = 1.71e9;
    const double east = 1 / std::cos(41 * std::numbers::pi / 180); // metres east to metres north, near 41°
    const GroupingRow rows[] = {
        {"three photos of one morning", {{0, 0, t}, {40, 0, t - hour}, {0, 90, t - 2 * hour}}, {3}},
        {"six kilometres apart a minute later", {{0, 0, t}, {6000, 0, t - 60}}, {1, 1}},
        {"ten metres apart thirteen hours later", {{0, 0, t}, {10, 0, t - 13 * hour}}, {1, 1}},
        {"exactly twelve hours later", {{0, 0, t}, {10, 0, t - 12 * hour}}, {2}},
        {"the gap runs from the oldest photo", {{0, 0, t}, {0, 0, t - 11 * hour}, {0, 0, t - 22 * hour}}, {3}},
        {"a newer photo never breaks the gap", {{0, 0, t}, {0, 0, t - hour}, {0, 0, t + 30 * hour}}, {3}},
        {"A, B, A stay three places", {{0, 0, t}, {0, 7000, t - 60}, {0, 0, t - 120}}, {1, 1, 1}},
        {"the first photo anchors the place", {{0, 0, t}, {3000, 0, t - 60}, {6000, 0, t - 120}}, {2, 1}},
        {"no photos", {}, {}},
    };
    const QUuid source = QUuid::createUuid();
    for (const GroupingRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<MapPhoto> photos;
        for (const Shot& shot : row.shots) {
            photos.emplace_back(galleryPhoto(source, int(photos.size()), {400, 300}, shot.date),
                                41 + north(shot.metresNorth), 29 + north(shot.metresEast * east));
        }
        const std::vector<PlaceGroup> groups = PlaceGroup::make(photos, 5000, 12 * hour);
        std::vector<int> counts;
        int next = 0;
        for (const PlaceGroup& group : groups) {
            counts.push_back(group.count);
            const MapPhoto& first = photos[std::size_t(group.first)];
            EXPECT_EQ(group.first, next);
            EXPECT_EQ(group.id, first.id());
            EXPECT_EQ(group.latitude, first.latitude());
            EXPECT_EQ(group.newest, first.item().captureDate());
            Timestamp oldest = group.newest;
            for (int index = group.first; index < group.first + group.count; ++index) {
                oldest = std::min(oldest, photos[std::size_t(index)].item().captureDate());
            }
            EXPECT_EQ(group.oldest, oldest);
            next += group.count;
        }
        EXPECT_EQ(counts, row.counts);
    }
}

TEST(PlaceGroupTest, DateTextsInEnglishAndTurkish)
{
    const struct {
        QLocale locale;
        const char* newest;
        const char* oldest;
        const char* text;
    } rows[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "2024-03-12T10:00", "2024-03-12T08:00", "Mar 12, 2024"},
        {QLocale(QLocale::Turkish, QLocale::Turkey), "2024-03-12T10:00", "2024-03-12T00:00", "12 Mar 2024"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "2024-03-12T00:30", "2024-03-11T20:00",
         "Mar 11\u2009–\u200912, 2024"},
        {QLocale(QLocale::Turkish, QLocale::Turkey), "2024-03-12T00:30", "2024-02-28T20:00",
         "28 Şub\u2009–\u200912 Mar 2024"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "2025-01-01T09:00", "2024-12-31T23:00",
         "Dec 31, 2024\u2009–\u2009Jan 1, 2025"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.newest);
        const PlaceDateText text(row.locale, istanbul);
        EXPECT_EQ(text(at(row.newest), at(row.oldest)), QString::fromUtf8(row.text));
    }
}

// The layout's searches agree with a walk over every tile.
TEST(PlaceGroupTest, LayoutSearchesMatchEveryTile)
{
    const std::vector<int> counts{1, 7, 12, 3, 40, 1, 1, 9};
    PlaceGridLayout layout;
    layout.setCounts(counts);
    layout.setBar(true);
    for (const double width : {300.0, 800.0, 1337.0}) {
        SCOPED_TRACE(width);
        layout.prepare(width);
        EXPECT_GE(layout.tileSide(), PlaceGridLayout::minTile);
        EXPECT_LE(layout.tileSide(), PlaceGridLayout::maxTile);
        EXPECT_LE(layout.columns() * layout.tileSide() + (layout.columns() - 1) * PlaceGridLayout::spacing,
                  width - 2 * PlaceGridLayout::sidePadding + 1e-9);
        for (const double top : {0.0, 250.0, 1234.5}) {
            const QRectF band(0, top, width, 600);
            std::vector<std::pair<int, int>> walked;
            for (int section = 0; section < layout.sectionCount(); ++section) {
                for (int offset = 0; offset < counts[std::size_t(section)]; ++offset) {
                    const QRectF tile = layout.tileRect(section, offset);
                    EXPECT_TRUE(layout.sectionRect(section).contains(tile));
                    if (tile.intersects(band)) {
                        walked.emplace_back(section, offset);
                    }
                    const auto hit = layout.tileAt(tile.center());
                    ASSERT_TRUE(hit);
                    EXPECT_EQ(std::pair(hit->section, hit->offset), std::pair(section, offset));
                }
                EXPECT_EQ(layout.headerAt(layout.headerRect(section).center()), section);
            }
            std::vector<std::pair<int, int>> found;
            for (const auto& tile : layout.tilesIn(band)) {
                found.emplace_back(tile.section, tile.offset);
            }
            EXPECT_EQ(found, walked);
        }
    }
}

} // namespace
} // namespace pivra::test
