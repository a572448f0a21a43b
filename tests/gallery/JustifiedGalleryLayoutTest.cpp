#include "gallery/GalleryMonths.h"
#include "gallery/JustifiedGalleryLayout.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace pivra {
namespace {

JustifiedGalleryLayout layoutOf(std::vector<double> aspects, std::vector<MonthMarker> months, double width = 1000)
{
    JustifiedGalleryLayout layout;
    layout.setTopInset(10);
    layout.setAspects(std::move(aspects));
    layout.setMonths(std::move(months));
    layout.prepare(width, 600);
    return layout;
}

TEST(JustifiedGalleryLayoutTest, FullRowFillsTheWidthAndLastRowKeepsTheTargetHeight)
{
    // Four 3:2 photos reach the usable 960: (960 - 24) / 6 = 156 high.
    const auto full = layoutOf({1.5, 1.5, 1.5, 1.5}, {{0, "A"}});
    const double xs[] = {20, 262, 504, 746};
    for (int i = 0; i < 4; ++i) {
        const QRectF frame = *full.itemFrame(i);
        EXPECT_DOUBLE_EQ(frame.x(), xs[i]);
        EXPECT_DOUBLE_EQ(frame.height(), 156);
        EXPECT_DOUBLE_EQ(frame.y(), 10);
    }
    EXPECT_DOUBLE_EQ(full.itemFrame(3)->right(), 980);

    // Two squares would be 476 high: the last row stays at 190, left-aligned.
    const auto last = layoutOf({1, 1}, {{0, "A"}});
    EXPECT_EQ(*last.itemFrame(1), QRectF(218, 10, 190, 190));
    EXPECT_FALSE(last.itemFrame(2));
}

TEST(JustifiedGalleryLayoutTest, AspectsAreClampedAndUnknownSizesAreSquare)
{
    const auto layout = layoutOf({20, 0.01}, {{0, "A"}, {1, "B"}});
    EXPECT_DOUBLE_EQ(layout.itemFrame(0)->width() / layout.itemFrame(0)->height(), 8.0);
    EXPECT_DOUBLE_EQ(layout.itemFrame(1)->width(), 190 * 0.15);

    MediaItem unknown;
    unknown.setWidth(0);
    unknown.setHeight(300);
    EXPECT_EQ(itemAspect(unknown), 1);
    MediaItem sideways;
    sideways.setWidth(4000);
    sideways.setHeight(3000);
    sideways.setRotationQuarters(-1);
    EXPECT_EQ(itemAspect(sideways), 0.75);
}

TEST(JustifiedGalleryLayoutTest, MonthsStartUnderTheirHeaders)
{
    auto layout = layoutOf({1, 1, 1}, {{0, "May"}, {2, "April"}});
    EXPECT_DOUBLE_EQ(layout.itemFrame(0)->y(), 10); // the first month has no header
    const auto headers = layout.headersIn(QRectF(0, 0, 1000, 10000));
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].rect, QRectF(20, 10 + 190 + 24, 960, 36));
    EXPECT_DOUBLE_EQ(layout.itemFrame(2)->y(), headers[0].rect.y() + 54);
    EXPECT_DOUBLE_EQ(layout.naturalHeight(), layout.itemFrame(2)->bottom() + 24 + 20);

    EXPECT_EQ(layout.month(0), "May"); // above the first header
    EXPECT_EQ(layout.month(headers[0].rect.y() - 1), "May");
    EXPECT_EQ(layout.month(headers[0].rect.y() + 1), "April");
    EXPECT_EQ(layout.anchor(headers[0].rect.y() + 60)->index, 2);
    EXPECT_EQ(layout.anchor(1e9)->index, 2);

    const auto empty = layoutOf({}, {});
    EXPECT_EQ(empty.rowCount(), 0);
    EXPECT_EQ(empty.contentSize().height(), 600); // never shorter than the visible area
    EXPECT_FALSE(empty.anchor(0));
    EXPECT_FALSE(empty.month(0));
}

TEST(JustifiedGalleryLayoutTest, SmallWidthChangesKeepRowsAndFrozenWidthScales)
{
    auto layout = layoutOf(std::vector<double>(50, 1.5), {{0, "A"}});
    const int rows = layout.rowCount();
    layout.prepare(1000.4, 600);
    EXPECT_EQ(layout.computations(), 1);
    layout.prepare(1000.6, 600);
    EXPECT_EQ(layout.computations(), 2);

    layout.setFrozenWidth(1000);
    layout.prepare(520, 600);
    EXPECT_EQ(layout.rowCount(), rows);
    EXPECT_DOUBLE_EQ(layout.scale(), 480.0 / 960.0);
    EXPECT_DOUBLE_EQ(layout.itemFrame(3)->right(), 20 + (980 - 20) * 0.5);
    layout.setFrozenWidth(std::nullopt);
    layout.prepare(520, 600);
    EXPECT_GT(layout.rowCount(), rows);
}

// A list laid out elsewhere is taken with its rows while they were computed
// for the settings and width the taking layout has; otherwise it takes the
// items alone and its rows are those of its own settings.
TEST(JustifiedGalleryLayoutTest, AdoptingALaidOutListKeepsTheRowsOnlyWhereTheyStillFit)
{
    struct Case {
        const char* name;
        double targetHeight;
        double topInset;
        double width;
        int computations;
    };
    const Case cases[] = {
        {"the same settings", 190, 10, 1000, 0},
        {"another row height", 230, 10, 1000, 1},
        {"another inset", 190, 40, 1000, 1},
        {"another width", 190, 10, 700, 1},
    };
    const std::vector<double> aspects{1.5, 0.75, 1, 2, 1.5, 1.5, 0.8, 1.2, 3, 1};
    const std::vector<MonthMarker> months{{0, "May"}, {4, "April"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const JustifiedGalleryLayout laid = layoutOf(aspects, months);
        JustifiedGalleryLayout taking;
        taking.setTargetHeight(c.targetHeight);
        taking.setTopInset(c.topInset);
        taking.adopt(laid);
        taking.prepare(c.width, 600);
        EXPECT_EQ(taking.computations(), laid.computations() + c.computations);

        JustifiedGalleryLayout fresh = taking.withoutItems();
        fresh.setAspects(aspects);
        fresh.setMonths(months);
        fresh.prepare(c.width, 600);
        EXPECT_EQ(taking.contentSize(), fresh.contentSize());
        for (int i = 0; i < int(aspects.size()); ++i) {
            EXPECT_EQ(taking.itemFrame(i), fresh.itemFrame(i)) << i;
        }
    }
}

// Random galleries against what every frame must satisfy, and rectangle
// queries against a scan of all frames.
TEST(JustifiedGalleryLayoutTest, RandomGalleriesAreJustifiedOrderedAndFoundByRectangle)
{
    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<double> aspects(2000);
        for (double& aspect : aspects) {
            aspect = 0.05 + random.generateDouble() * 10;
        }
        std::vector<MonthMarker> months;
        for (int index = 0; index < 2000; index += 1 + random.bounded(400)) {
            months.push_back({index, QString::number(index)});
        }
        const double width = 300 + random.bounded(1500);
        auto layout = layoutOf(aspects, months, width);
        QRectF previous;
        for (int i = 0; i < 2000; ++i) {
            const QRectF frame = *layout.itemFrame(i);
            ASSERT_GE(frame.left(), 20 - 1e-9);
            ASSERT_LE(frame.right(), width - 20 + 1e-6);
            ASSERT_LE(frame.height(), 190 + 1e-9);
            if (i > 0) {
                const bool sameRow = frame.y() == previous.y();
                ASSERT_TRUE(sameRow ? frame.left() >= previous.right() : frame.top() >= previous.bottom()) << i;
                // A row that ends below the target height fills the width exactly.
                if (!sameRow && previous.height() < 190 - 1e-9) {
                    ASSERT_NEAR(previous.right(), width - 20, 0.5) << i;
                }
            }
            previous = frame;
        }
        const QRectF probe(0, random.bounded(int(layout.contentSize().height())), width, 500);
        std::vector<int> expected;
        for (int i = 0; i < 2000; ++i) {
            if (layout.itemFrame(i)->intersects(probe)) {
                expected.push_back(i);
            }
        }
        std::vector<int> found;
        for (const TileFrame& tile : layout.tilesIn(probe)) {
            found.push_back(tile.index);
        }
        ASSERT_EQ(found, expected);
    }
}

TEST(JustifiedGalleryLayoutTest, MonthMarkersFollowLocalMonthsAndLocale)
{
    const QTimeZone plusThree(3 * 3600);
    auto at = [&](int year, int month, int day, int hour) {
        MediaItem item;
        item.setCaptureDate(QDateTime(QDate(year, month, day), QTime(hour, 30), plusThree).toSecsSinceEpoch());
        return item;
    };
    // 23:30 UTC on 31 December is already January in UTC+3.
    MediaItem newYear;
    newYear.setCaptureDate(QDateTime(QDate(2023, 12, 31), QTime(23, 30), QTimeZone::utc()).toSecsSinceEpoch());
    const std::vector<MediaItem> items{at(2024, 1, 20, 9), newYear, at(2023, 12, 5, 8), at(2023, 1, 3, 1)};
    const auto markers = monthMarkers(items, QLocale(QLocale::Turkish, QLocale::Turkey), plusThree);
    const std::vector<MonthMarker> expected{{0, "Ocak 2024"}, {2, "Aralık 2023"}, {3, "Ocak 2023"}};
    EXPECT_EQ(markers, expected);
    EXPECT_EQ(monthMarkers(items, QLocale(QLocale::English), plusThree)[0].title, "January 2024");
}

} // namespace
} // namespace pivra
