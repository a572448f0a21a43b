#include "viewer/info/MediaLocation.h"
#include "viewer/info/MetadataRows.h"

#include "media/metadata/MediaMetadata.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pivra {
namespace {

using Rows = std::vector<MetadataRow>;

TEST(MetadataEntriesTest, EveryValueIsFlattenedInSortedPathOrder)
{
    struct Row {
        const char* json;
        Rows entries;
    };
    const QList<Row> rows = {
        {R"({"{TIFF}":{"Model":"Q2","Orientation":1},"Keywords":["a","b"]})",
         {{"Keywords", "a, b"}, {"{TIFF} · Model", "Q2"}, {"{TIFF} · Orientation", "1"}}},
        {R"([1,"x",true])", {{"", "1, x, 1"}}},
        {R"({"a":[],"b":{},"c":null,"d":false,"e":1.5,"f":-3,"g":9007199254740993})",
         {{"a", ""}, {"c", "<null>"}, {"d", "0"}, {"e", "1.5"}, {"f", "-3"}, {"g", "9007199254740993"}}},
        {R"({"x · y":{"{Exif}":{"b":2},"Z":{"a":[{"k":1},[2]]}}})",
         {{"x · y · Z · a", R"({"k":1}, [2])"}, {"x · y · {Exif} · b", "2"}}},
        {R"({"{TIFF}":{"Make":"A"},"{Exif}":{"ExposureTime":0.01},"aperture":2})",
         {{"aperture", "2"}, {"{Exif} · ExposureTime", "0.01"}, {"{TIFF} · Make", "A"}}},
        {"not json", {}},
        {"3", {}},
        {"", {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(metadataEntries(QString::fromUtf8(row.json)), row.entries) << row.json;
    }
    EXPECT_TRUE(metadataEntries(std::nullopt).empty());
}

class InspectedMetadataTest : public test::TempFolderTest {};

// What the inspection writes for a real photo reads back as rows the user
// can find, in the panel's order.
TEST_F(InspectedMetadataTest, APhotosInspectedMetadataFlattensIntoItsGroups)
{
    const QString path = pathOf(QStringLiteral("IMG_1.jpg"));
    test::ExifFields exif;
    exif.make = QStringLiteral("Canon");
    exif.model = QStringLiteral("EOS R5");
    exif.latitude = -33.8568;
    exif.longitude = 151.2153;
    exif.dateTimeOriginal = QStringLiteral("2024:05:01 10:00:00");
    ASSERT_TRUE(test::makeJpeg(path, {64, 48}, exif));
    ASSERT_TRUE(test::addIptc(path, {.city = QStringLiteral("Sydney"), .country = QStringLiteral("Australia"),
                                     .keywords = {QStringLiteral("harbour"), QStringLiteral("opera")}}));
    const std::optional<QString> json = MediaMetadata::imageMetadataJSON(path);
    ASSERT_TRUE(json);
    const Rows entries = metadataEntries(json);
    const auto value = [&](const QString& key) -> std::optional<QString> {
        for (const MetadataRow& entry : entries) {
            if (entry.label == key) {
                return entry.value;
            }
        }
        return std::nullopt;
    };
    EXPECT_EQ(value(QStringLiteral("{TIFF} · Make")), QStringLiteral("Canon"));
    EXPECT_EQ(value(QStringLiteral("{TIFF} · Model")), QStringLiteral("EOS R5"));
    EXPECT_EQ(value(QStringLiteral("{IPTC} · Keywords")), QStringLiteral("harbour, opera"));
    EXPECT_EQ(value(QStringLiteral("{GPS} · LatitudeRef")), QStringLiteral("S"));
    EXPECT_EQ(value(QStringLiteral("PixelWidth")), QStringLiteral("64"));
    EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end(),
                               [](const MetadataRow& a, const MetadataRow& b) { return a.label < b.label; }));
    EXPECT_EQ(MediaLocation::label(json), QStringLiteral("Sydney, Australia"));
}

TEST(FactRowsTest, OptionalFactsShowOnlyWhenKnown)
{
    MediaItem item;
    item.setName(u"IMG_2.jpg");
    item.setFileSize(2'400'000);
    item.setHeight(4000);
    const auto labels = [](const Rows& rows) {
        QStringList all;
        for (const MetadataRow& row : rows) {
            all.append(row.label);
        }
        return all;
    };
    EXPECT_EQ(labels(factRows(item, std::nullopt)),
              QStringList({"Name", "Source", "Date", "Date source", "Size"}));
    EXPECT_EQ(factRows(item, std::nullopt)[1].value, QStringLiteral("Unknown"));
    EXPECT_EQ(factRows(item, std::nullopt).back().value, QStringLiteral("2.4 MB"));

    item.setWidth(3000);
    item.setCamera(u"");
    item.setDuration(65);
    LibrarySource source;
    source.name = QStringLiteral("Trip");
    const Rows rows = factRows(item, source);
    EXPECT_EQ(labels(rows), QStringList({"Name", "Source", "Date", "Date source", "Dimensions", "Camera", "Duration",
                                         "Size"}));
    EXPECT_EQ(rows[1].value, QStringLiteral("Trip"));
    EXPECT_EQ(rows[4].value, QStringLiteral("3000 × 4000"));
    EXPECT_EQ(rows[5].value, QString());
    EXPECT_EQ(rows[6].value, QStringLiteral("0:01:05"));
    EXPECT_EQ(durationText(3725.4), QStringLiteral("1:02:05"));
}

TEST(MediaLocationTest, ThePlaceThenThePositionThenAVideosLocationWin)
{
    struct Row {
        const char* json;
        std::optional<QString> label;
    };
    const QList<Row> rows = {
        {R"({"{IPTC}":{"City":"Kyoto","Country/PrimaryLocationName":"Japan"}})", "Kyoto, Japan"},
        {R"({"{IPTC}":{"City":"Paris","Province-State":"Île-de-France","Country-PrimaryLocationName":"France"}})",
         "Paris, Île-de-France, France"},
        {R"({"{IPTC}":{"City":"","Country/PrimaryLocationName":"France"}})", "France"},
        {R"({"{IPTC}":{"City":"","Province/State":3},"{GPS}":{"Latitude":48.8584,"LatitudeRef":"N","Longitude":2.2945,"LongitudeRef":"E"}})",
         "48.8584° N, 2.2945° E"},
        {R"({"{GPS}":{"Latitude":33.85682,"LatitudeRef":"S","Longitude":151.21532,"LongitudeRef":"E"}})",
         "33.8568° S, 151.2153° E"},
        {R"({"{GPS}":{"Latitude":-10,"LatitudeRef":"S","Longitude":1,"LongitudeRef":"w"}})", "10.0000° N, 1.0000° E"},
        {R"({"{GPS}":{"Latitude":"48.8584","Longitude":123}})", "48.8584° N, 123.0000° E"},
        {R"({"{GPS}":{"Latitude":"48,8584","Longitude":2},"mdta/com.apple.quicktime.location.ISO6709":"+37.3349-122.0090+010.000/"})",
         "37.3349° N, 122.0090° W"},
        {R"({"{GPS}":{"Latitude":"nan","Longitude":2}})", std::nullopt},
        {R"({"A.LOCATION":"+95.0000+002.0000/","b.location":"-33.8568+151.2153/"})", "33.8568° S, 151.2153° E"},
        {R"({"location":"+3720.5-12200.3/"})", std::nullopt},
        {R"(["x"])", std::nullopt},
        {"", std::nullopt},
        {"{", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MediaLocation::label(QString::fromUtf8(row.json)), row.label) << row.json;
    }
    EXPECT_EQ(MediaLocation::label(std::nullopt), std::nullopt);
}

class VideoLocationTest : public test::TempFolderTest {};

TEST_F(VideoLocationTest, AVideoFilesOwnLocationIsReadInRange)
{
    struct Row {
        std::optional<QString> location;
        std::optional<QString> label;
    };
    for (const Row& row : {Row{QStringLiteral("+37.3349-122.0090+010.000/"), QStringLiteral("37.3349° N, 122.0090° W")},
                           Row{QStringLiteral("+95.0000+002.0000/"), std::nullopt}, Row{std::nullopt, std::nullopt}}) {
        const QString path = pathOf(QStringLiteral("clip.mov"));
        QFile::remove(path);
        test::VideoFields fields;
        fields.location = row.location;
        ASSERT_TRUE(test::makeVideo(path, fields));
        EXPECT_EQ(MediaLocation::videoLabel(path), row.label) << row.location.value_or("none").toStdString();
    }
    EXPECT_EQ(MediaLocation::videoLabel(pathOf(QStringLiteral("missing.mov"))), std::nullopt);
}

} // namespace
} // namespace pivra
