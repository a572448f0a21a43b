#include "media/metadata/MediaMetadata.h"
#include "media/metadata/MetadataJson.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <limits>

namespace pivra {
namespace {

TEST(JsonSafe, KeepsWhatJsonCanHoldAndDropsTheRest)
{
    const QVariantMap properties{
        {"Width", 4032},
        {"Ratio", 1.5},
        {"Flag", true},
        {"NotANumber", std::numeric_limits<double>::quiet_NaN()},
        {"Infinite", std::numeric_limits<double>::infinity()},
        {"When", QDateTime(QDate(2024, 5, 1), QTime(14, 34, 56), QTimeZone(7200))},
        {"Blob", QByteArray("\x01\x02", 2)},
        {"Empty", QVariantList{}},
        {"Mixed", QVariantList{1, QByteArray("x"), "two", std::numeric_limits<double>::infinity()}},
        {"{Group}", QVariantMap{{"Inner", QByteArray("y")}, {"Kept", "text"}}},
    };
    const std::optional<QString> text = propertiesJSON(properties);
    ASSERT_TRUE(text);
    const QJsonObject object = QJsonDocument::fromJson(text->toUtf8()).object();
    EXPECT_EQ(object.value("Width").toInteger(), 4032);
    EXPECT_EQ(object.value("Ratio").toDouble(), 1.5);
    EXPECT_EQ(object.value("Flag"), QJsonValue(true));
    EXPECT_FALSE(object.contains("NotANumber"));
    EXPECT_FALSE(object.contains("Infinite"));
    EXPECT_EQ(object.value("When").toString(), "2024-05-01T12:34:56Z");
    EXPECT_FALSE(object.contains("Blob"));
    EXPECT_EQ(object.value("Empty"), QJsonValue(QJsonArray{}));
    EXPECT_EQ(object.value("Mixed"), QJsonValue(QJsonArray{1, "two"}));
    EXPECT_EQ(object.value("{Group}"), QJsonValue(QJsonObject{{"Kept", "text"}}));
}

TEST(JsonSafe, WritesCompactTextWithSortedKeysAndIntegersAsIntegers)
{
    const QVariantMap properties{{"b", 6}, {"a", QVariantMap{{"z", 1}, {"Y", 2.5}}}, {"C", "x"}};
    EXPECT_EQ(propertiesJSON(properties), QString(R"({"C":"x","a":{"Y":2.5,"z":1},"b":6})"));
    EXPECT_EQ(flatJSON({}), "{}");
    EXPECT_EQ(flatJSON({{"mdta/b", "2"}, {"mdta/a", "1"}}), R"({"mdta/a":"1","mdta/b":"2"})");
}

std::optional<GeoLocation> imageLocation(const char* json)
{
    return MediaMetadata::location(QString::fromUtf8(json), MediaKind::image);
}

std::optional<GeoLocation> videoLocation(const char* json)
{
    return MediaMetadata::location(QString::fromUtf8(json), MediaKind::video);
}

TEST(MetadataLocation, ImageNeedsGpsNumbersAndACameraInTiff)
{
    const auto south = imageLocation(
        R"({"{GPS}":{"Latitude":48.85,"LatitudeRef":"s","Longitude":2.35,"LongitudeRef":"E"},"{TIFF}":{"Make":"Apple"}})");
    ASSERT_TRUE(south);
    EXPECT_DOUBLE_EQ(south->latitude, -48.85);
    EXPECT_DOUBLE_EQ(south->longitude, 2.35);

    const auto west = imageLocation(
        R"({"{GPS}":{"Latitude":40.5,"LatitudeRef":"N","Longitude":74.25,"LongitudeRef":"w"},"{TIFF}":{"Model":"X"}})");
    ASSERT_TRUE(west);
    EXPECT_DOUBLE_EQ(west->longitude, -74.25);

    const auto unsignedRefs = imageLocation(R"({"{GPS}":{"Latitude":40.5,"Longitude":74.25},"{TIFF}":{"Make":1}})");
    ASSERT_TRUE(unsignedRefs);
    EXPECT_DOUBLE_EQ(unsignedRefs->latitude, 40.5);

    EXPECT_FALSE(imageLocation(R"({"{GPS}":{"Latitude":48.85,"Longitude":2.35}})"));
    EXPECT_FALSE(imageLocation(R"({"{GPS}":{"Latitude":48.85,"Longitude":2.35},"{TIFF}":{"Software":"x"}})"));
    EXPECT_FALSE(imageLocation(R"({"{GPS}":{"Latitude":"48.85","Longitude":2.35},"{TIFF}":{"Make":"A"}})"));
    EXPECT_FALSE(imageLocation(R"({"{GPS}":{"Latitude":0,"Longitude":0},"{TIFF}":{"Make":"A"}})"));
    EXPECT_FALSE(imageLocation(R"({"{GPS}":{"Latitude":95,"Longitude":2},"{TIFF}":{"Make":"A"}})"));
    EXPECT_FALSE(imageLocation(R"({"{GPS}":[1,2],"{TIFF}":{"Make":"A"}})"));
}

TEST(MetadataLocation, VideoNeedsACameraKeyAndAnIso6709Text)
{
    const auto located = videoLocation(
        R"({"mdta/com.apple.quicktime.location.ISO6709":"+37.3349-122.0090+000.000/","mdta/com.apple.quicktime.model":"iPhone"})");
    ASSERT_TRUE(located);
    EXPECT_DOUBLE_EQ(located->latitude, 37.3349);
    EXPECT_DOUBLE_EQ(located->longitude, -122.009);

    EXPECT_FALSE(videoLocation(R"({"mdta/com.apple.quicktime.location.ISO6709":"+37.3349-122.0090/"})"));
    EXPECT_FALSE(videoLocation(R"({"udta/%A9xyz":"+37.3349-122.0090/","udta/%A9mak":"Pixel"})"));
    EXPECT_FALSE(videoLocation(R"({"x.location.iso6709":5,"x.MAKE":"A"})"));
}

TEST(MetadataLocation, ShortMissingAndMalformedTextsGiveNothing)
{
    EXPECT_FALSE(MediaMetadata::location(std::nullopt, MediaKind::image));
    EXPECT_FALSE(imageLocation("{}"));
    EXPECT_FALSE(videoLocation("[]"));
    EXPECT_FALSE(imageLocation("[1, 2, 3]"));
    EXPECT_FALSE(imageLocation("{\"{GPS}\": {"));
    EXPECT_FALSE(videoLocation("not json at all"));
}

} // namespace
} // namespace pivra
