#include "app/header/HeaderModel.h"
#include "platform/folders/FileNameText.h"

#include <QUuid>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace pivra {
namespace {

TEST(HeaderModelTest, ControlsFoldAwayAsTheWidthStepNarrows)
{
    struct Row {
        int step;
        bool pills, density;
        int search;
    };
    const Row rows[] = {{1120, true, true, 210}, {1000, true, true, 210}, {780, true, true, 160},
        {760, false, true, 160}, {700, false, false, 160}, {0, false, false, 120}};
    for (const Row& row : rows) {
        const HeaderFlags flags = HeaderFlags::at(row.step, {});
        EXPECT_TRUE(flags.galleryMode && flags.allMedia) << row.step;
        EXPECT_EQ(flags.pillsFit, row.pills) << row.step;
        EXPECT_EQ(flags.densityFits, row.density) << row.step;
        EXPECT_EQ(flags.searchWidth, row.search) << row.step;
    }

    LibraryView albums;
    albums.albums = true;
    LibraryView source;
    source.sourceID = QUuid::createUuid();
    source.favorites = true;
    for (const LibraryView& view : {albums, source}) {
        const HeaderFlags flags = HeaderFlags::at(1120, view);
        EXPECT_FALSE(flags.allMedia);
        EXPECT_EQ(flags.galleryMode, !view.albums);
        EXPECT_EQ(flags.pillsFit, !view.albums);
        EXPECT_EQ(flags.searchWidth, 210);
    }
    LibraryView favorites; // a view of all sources still shows the switch
    favorites.favorites = true;
    EXPECT_TRUE(HeaderFlags::at(0, favorites).allMedia);
}

TEST(HeaderModelTest, TheTitleNamesTheFirstSelectionThatHolds)
{
    const Album trip{QUuid::createUuid(), QStringLiteral("Trip")};
    LibrarySource disk;
    disk.id = QUuid::createUuid();
    disk.name = QStringLiteral("Disk");
    const QList<Album> albums{trip};
    const QList<LibrarySource> sources{disk};

    const auto view = [](auto edit) {
        LibraryView v;
        edit(v);
        return v;
    };
    const std::pair<LibraryView, QString> rows[] = {
        {view([](LibraryView&) {}), QStringLiteral("All media")},
        {view([&](LibraryView& v) { v.albums = v.map = true; }), QStringLiteral("Albums")},
        {view([&](LibraryView& v) { v.map = true, v.albumID = trip.id; }), QStringLiteral("Map")},
        {view([&](LibraryView& v) { v.albumID = trip.id, v.favorites = true; }), QStringLiteral("Trip")},
        // An album that is gone falls through to what else is chosen.
        {view([&](LibraryView& v) { v.albumID = QUuid::createUuid(), v.favorites = true; }),
            QStringLiteral("Favorites")},
        {view([&](LibraryView& v) { v.sourceID = disk.id, v.folderPath = QStringLiteral("/a/b/"); }),
            QStringLiteral("b")},
        {view([&](LibraryView& v) { v.folderPath = QStringLiteral("/"); }), QStringLiteral("/")},
        // A folder named in Latin-1 reads as its letters.
        {view([&](LibraryView& v) { v.folderPath = fileNameText("old/\xe9t\xe9"); }), QStringLiteral("\u00e9t\u00e9")},
        {view([&](LibraryView& v) { v.sourceID = disk.id; }), QStringLiteral("Disk")},
        {view([&](LibraryView& v) { v.sourceID = QUuid::createUuid(); }), QStringLiteral("All media")},
    };
    for (const auto& [shown, title] : rows) {
        EXPECT_EQ(headerTitle(shown, albums, sources), title);
    }
}

TEST(HeaderModelTest, TheSubtitleCountsInTheLocaleWithoutASingular)
{
    LibraryView albums;
    albums.albums = true;
    LibraryView map;
    map.map = true;
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    struct Row {
        LibraryView view;
        std::optional<qint64> count;
        bool busy;
        QLocale locale;
        QString text;
    };
    const Row rows[] = {
        {{}, 1234, false, english, QStringLiteral("1,234 items")},
        {{}, 1234, true, turkish, QStringLiteral("1.234 items · Updating index…")},
        {{}, 1, false, english, QStringLiteral("1 items")},
        {{}, std::nullopt, true, english, QString()}, // still counting
        {albums, 2, true, english, QStringLiteral("2 albums")},
        {map, 0, false, english, QStringLiteral("0 with a location")},
        {map, 5, true, english, QStringLiteral("5 with a location · Reading locations…")},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(headerSubtitle(row.view, row.count, row.busy, row.locale), row.text);
    }
}

TEST(HeaderModelTest, AlbumsNarrowToTheTrimmedSearchCaseAside)
{
    const QList<Album> albums{
        {QUuid::createUuid(), QStringLiteral("Summer Trip")}, {QUuid::createUuid(), QStringLiteral("İstanbul")}};
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    EXPECT_EQ(visibleAlbums(albums, QStringLiteral(" \n")).size(), 2);
    ASSERT_EQ(visibleAlbums(albums, QStringLiteral(" TRIP ")).size(), 1);
    EXPECT_EQ(visibleAlbums(albums, QStringLiteral("istanbul"), turkish).front().name, QStringLiteral("İstanbul"));
}

TEST(HeaderModelTest, DensityStepsTreatAHeightWithinAPointAsTheStep)
{
    struct Row {
        double height;
        std::optional<double> smaller, larger;
    };
    const Row rows[] = {{190, 180, 230}, {110, std::nullopt, 140}, {300, 230, std::nullopt}, {110.5, std::nullopt, 140},
        {181, 140, 230}, {20, std::nullopt, 110}, {900, 300, std::nullopt}};
    for (const Row& row : rows) {
        EXPECT_EQ(RowHeight::smaller(row.height), row.smaller) << row.height;
        EXPECT_EQ(RowHeight::larger(row.height), row.larger) << row.height;
    }
}

TEST(HeaderModelTest, AStoredRowHeightIsTheStandardOneUnlessANumberAndWithinTheDensitySteps)
{
    const QVariant rows[]
        = {QVariant(std::numeric_limits<double>::quiet_NaN()), QVariant(std::numeric_limits<double>::infinity()),
            QVariant(0.0), QVariant(-5), QVariant(QStringLiteral("abc")), QVariant()};
    for (const QVariant& stored : rows) {
        EXPECT_EQ(RowHeight::validated(stored), 190) << stored.toString().toStdString();
    }
    const struct {
        QVariant stored;
        double height;
    } numbers[] = {{QStringLiteral("230"), 230}, {181.5, 181.5}, {1e-6, 110}, {0.5, 110}, {1e9, 300}, {300.5, 300}};
    for (const auto& row : numbers) {
        EXPECT_EQ(RowHeight::validated(row.stored), row.height) << row.stored.toString().toStdString();
    }
}

} // namespace
} // namespace pivra
