#include "style/ByteCountText.h"
#include "app/sidebar/FolderTree.h"
#include "app/sidebar/SidebarGroups.h"
#include "app/sidebar/SourceRemoval.h"
#include "app/sidebar/SourceStatus.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

LibrarySource onVolume(const QString& name, std::optional<QString> path, std::optional<QString> volume,
                       std::optional<std::int64_t> capacity)
{
    LibrarySource source;
    source.id = QUuid::createUuid();
    source.name = name;
    source.volumePath = std::move(path);
    source.volumeName = std::move(volume);
    source.volumeCapacity = capacity;
    return source;
}

LibrarySource device(const QString& name, const QString& deviceID)
{
    LibrarySource source = onVolume(name, QStringLiteral("/ignored"), std::nullopt, std::nullopt);
    source.kind = LibrarySource::Kind::camera;
    source.deviceID = deviceID;
    return source;
}

TEST(ByteCountTextTest, WritesSizesInPowersOfAThousandAsFileDialogsDo)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const std::pair<std::int64_t, const char*> rows[] = {
        {0, "Zero KB"},          {1, "1 byte"},           {512, "512 bytes"},         {1000, "1 KB"},
        {512'000, "512 KB"},     {999'999, "1 MB"},       {1'500'000, "1.5 MB"},      {2'000'000, "2 MB"},
        {1'250'000'000, "1.25 GB"}, {2'000'000'000'000, "2 TB"}, {999'999'999, "1 GB"}, {1'234'000, "1.2 MB"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(byteCountText(bytes, english), QString::fromUtf8(text)) << bytes;
    }
    EXPECT_EQ(byteCountText(1'500'000, QLocale(QLocale::German)), QStringLiteral("1,5 MB"));
}

TEST(SidebarGroupsTest, SourcesGroupByDeviceAndVolumeUnderTitlesInPlainCharacterOrder)
{
    const QList<LibrarySource> sources{
        onVolume(QStringLiteral("Loose"), std::nullopt, std::nullopt, std::nullopt),
        onVolume(QStringLiteral("Trips"), QStringLiteral("/media/b"), QStringLiteral("zeta"), std::nullopt),
        device(QStringLiteral("Phone"), QStringLiteral("usb:1")),
        onVolume(QStringLiteral("Scans"), QStringLiteral("/media/a"), std::nullopt, 2'000'000'000'000),
        onVolume(QStringLiteral("More"), QStringLiteral("/media/b"), QStringLiteral("Other name"), 5),
        onVolume(QStringLiteral("Work"), QStringLiteral("/media/c"), QStringLiteral("alpha"), std::nullopt),
    };
    // ALPHA, DEVICES, DISK · 2 TB, OTHER LOCATIONS, ZETA
    EXPECT_EQ(sourceGroupKeys(sources), (QStringList{QStringLiteral("/media/c"), QStringLiteral("camera"),
                                                     QStringLiteral("/media/a"), QStringLiteral("other"),
                                                     QStringLiteral("/media/b")}));
    EXPECT_EQ(sourceGroupTitle(QStringLiteral("camera"), sources), QStringLiteral("DEVICES"));
    EXPECT_EQ(sourceGroupTitle(QStringLiteral("/media/a"), sources), QStringLiteral("DISK · 2 TB"));
    EXPECT_EQ(sourceGroupTitle(QStringLiteral("other"), sources), QStringLiteral("OTHER LOCATIONS"));
    // The first source on the volume names it.
    EXPECT_EQ(sourceGroupTitle(QStringLiteral("/media/b"), sources), QStringLiteral("ZETA"));
    EXPECT_EQ(sourceGroupTitle(QStringLiteral("/media/gone"), sources), QStringLiteral("OTHER LOCATIONS"));
    EXPECT_TRUE(sourceGroupKeys({}).isEmpty());
}

TEST(SidebarGroupsTest, VolumesThatWouldShareAHeadingAreToldApartByTheirMountFolder)
{
    const QList<LibrarySource> sources{
        onVolume(QStringLiteral("A"), QStringLiteral("/media/ann/1234-ABCD"), std::nullopt, 16'000'000'000),
        onVolume(QStringLiteral("B"), QStringLiteral("/media/ann/5678-EF01"), std::nullopt, 16'000'000'000),
        onVolume(QStringLiteral("C"), QStringLiteral("/"), std::nullopt, 16'000'000'000),
        onVolume(QStringLiteral("D"), QStringLiteral("/mnt/photos"), std::nullopt, std::nullopt),
        onVolume(QStringLiteral("E"), QStringLiteral("/mnt/usb"), std::nullopt, std::nullopt),
        onVolume(QStringLiteral("F"), QStringLiteral("/mnt/big"), std::nullopt, 32'000'000'000),
    };
    const std::pair<const char*, const char*> rows[] = {
        {"/media/ann/1234-ABCD", "DISK · 16 GB · 1234-ABCD"},
        {"/media/ann/5678-EF01", "DISK · 16 GB · 5678-EF01"},
        {"/", "DISK · 16 GB · /"},
        {"/mnt/photos", "DISK · PHOTOS"},
        {"/mnt/usb", "DISK · USB"},
        {"/mnt/big", "DISK · 32 GB"}, // alone with its heading, it stays as it is
    };
    for (const auto& [key, title] : rows) {
        EXPECT_EQ(sourceGroupTitle(QString::fromUtf8(key), sources), QString::fromUtf8(title)) << key;
    }
}

TEST(SidebarGroupsTest, OnlyDevicesNotYetAddedGetARowAndTheLibraryRowsFollowTheView)
{
    const QList<AvailableCameraDevice> cameras{{QStringLiteral("usb:1"), QStringLiteral("Phone")},
                                               {QStringLiteral("usb:2"), QStringLiteral("Camera")}};
    const QList<AvailableCameraDevice> missing = camerasToAdd(cameras, {device(QStringLiteral("P"), "usb:1")});
    ASSERT_EQ(missing.size(), 1);
    EXPECT_EQ(missing[0].id, QStringLiteral("usb:2"));
    EXPECT_EQ(camerasToAdd(cameras, {}).size(), 2);

    const QUuid id = QUuid::createUuid();
    struct Row {
        LibraryRowsView view;
        std::array<bool, 4> lit; // all media, favorites, albums, map
    };
    const Row rows[] = {
        {{}, {true, false, false, false}},
        {{.favorites = true}, {false, true, false, false}},
        {{.albums = true}, {false, false, true, false}},
        {{.albumID = id}, {false, false, true, false}},
        {{.map = true}, {false, false, false, true}},
        {{.sourceID = id}, {false, false, false, false}},
    };
    for (const Row& row : rows) {
        int index = 0;
        for (const LibraryRow which : {LibraryRow::allMedia, LibraryRow::favorites, LibraryRow::albums, LibraryRow::map}) {
            EXPECT_EQ(isHighlighted(which, row.view), row.lit[index++]) << &row - rows;
        }
    }
}

TEST(SourceStatusTest, OfflineComesFirstThenIndexingOrAnyThumbnailStillWaiting)
{
    LibrarySource source = onVolume(QStringLiteral("S"), std::nullopt, std::nullopt, std::nullopt);
    struct Row {
        bool online;
        bool scanning;
        std::optional<ThumbnailStatus> counts;
        SourceStatus status;
    };
    const Row rows[] = {
        {false, true, ThumbnailStatus{4, 4}, SourceStatus::disconnected},
        {true, true, ThumbnailStatus{4, 4}, SourceStatus::preparing},
        {true, false, ThumbnailStatus{4, 2, 1, 1}, SourceStatus::preparing},
        // A failed thumbnail is done with, as the Storage tab counts it.
        {true, false, ThumbnailStatus{4, 3, 0, 1}, SourceStatus::ready},
        {true, false, ThumbnailStatus{1, 0, 0, 1}, SourceStatus::ready},
        {true, false, ThumbnailStatus{0, 0}, SourceStatus::preparing},
        {true, false, ThumbnailStatus{4, 4}, SourceStatus::ready},
        {true, false, std::nullopt, SourceStatus::ready},
    };
    for (const Row& row : rows) {
        source.isOnline = row.online;
        QSet<QUuid> scanning;
        if (row.scanning) {
            scanning.insert(source.id);
        }
        QHash<QUuid, ThumbnailStatus> counts;
        if (row.counts) {
            counts.insert(source.id, *row.counts);
        }
        EXPECT_EQ(sourceStatus(source, scanning, counts), row.status) << &row - rows;
    }
    EXPECT_EQ(statusText(SourceStatus::preparing), QStringLiteral("Preparing media"));
}

TEST(FolderTreeTest, ChildrenBelongToTheirExactParentInListOrder)
{
    const FolderTree tree({QStringLiteral("2023"), QStringLiteral("2023/Trip"), QStringLiteral("A"),
                           QStringLiteral("a"), QStringLiteral("a/x"), QStringLiteral("A/y"),
                           QStringLiteral("2023/Trip/Day 1")});
    EXPECT_EQ(tree.children({}), (QStringList{"2023", "A", "a"}));
    EXPECT_EQ(tree.children(QStringLiteral("a")), QStringList{"a/x"});
    EXPECT_EQ(tree.children(QStringLiteral("A")), QStringList{"A/y"});
    EXPECT_EQ(tree.children(QStringLiteral("2023/Trip")), QStringList{"2023/Trip/Day 1"});
    EXPECT_TRUE(tree.hasChildren(QStringLiteral("2023/Trip")));
    EXPECT_FALSE(tree.hasChildren(QStringLiteral("2023/Trip/Day 1")));
    EXPECT_EQ(FolderTree::name(QStringLiteral("2023/Trip/Day 1")), QStringLiteral("Day 1"));

    const QUuid id = QUuid::fromString(QStringLiteral("{0b5e2c1a-0000-4000-8000-00000000abcd}"));
    EXPECT_EQ(FolderTree::expansionKey(id, QStringLiteral("2023/Trip")),
              QStringLiteral("0B5E2C1A-0000-4000-8000-00000000ABCD:2023/Trip"));
}

TEST(SourceRemovalTest, TheQuestionCountsWithTheLocalesGroupingAndSingularOnlyForOne)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString after = QStringLiteral("\n\nRemoving the source disconnects it from Pivra. Your original photos and "
                                         "videos are not touched.");
    const std::pair<RemovalFootprint, QString> rows[] = {
        {{{}, 0, 2, 3'000}, QStringLiteral("0 thumbnails and 2 video previews · 3 KB")},
        {{{}, 1, 1, 1'500'000}, QStringLiteral("1 thumbnail and 1 video preview · 1.5 MB")},
        {{{}, 1234, 0, 0}, QStringLiteral("1,234 thumbnails · Zero KB")},
    };
    for (const auto& [footprint, text] : rows) {
        EXPECT_EQ(removalDetails(footprint, english), text + after);
    }
    EXPECT_EQ(removalQuestion(QStringLiteral("Trip")), QStringLiteral("Delete thumbnails along with “Trip”?"));
}

} // namespace
} // namespace pivra
