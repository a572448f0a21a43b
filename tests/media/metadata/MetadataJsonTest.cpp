#include "media/metadata/MediaMetadata.h"
#include "media/metadata/MetadataJson.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// The text must stay byte for byte what Qt's JSON writer made of the same
// values, since rows already stored are compared with new ones and searched.
TEST(JsonSafe, WritesWhatQtsJsonWriterWrites)
{
    const QString loneHigh = QString(QChar(0xD800)) + u'x';
    const QString loneLow = QStringLiteral("a") + QChar(0xDC00);
    const struct {
        const char* name;
        QVariant value;
        QJsonValue written; // Undefined: dropped
    } rows[] = {
        {"tenth", 0.1, 0.1},
        {"large", 1e20, 1e20},
        {"two to the 53", 9007199254740992.0, 9007199254740992.0},
        {"beyond 2^53", 9007199254740994.0, 9007199254740994.0},
        {"minus zero", -0.0, -0.0},
        {"small", 1e-7, 1e-7},
        {"integral", 72.0, 72.0},
        {"huge", 1.5e300, 1.5e300},
        {"negative", -3.25, -3.25},
        {"float", QVariant(0.1f), double(0.1f)},
        {"unsigned 64", QVariant(qulonglong(18446744073709551615ULL)), double(18446744073709551615ULL)},
        {"unsigned 32", QVariant(4000000000U), qint64(4000000000U)},
        {"short", QVariant::fromValue(short(-5)), -5},
        {"escapes", QStringLiteral("q\" b\\ t\t n\n r\r b\b f\f bell\x07 del\x7f"), QStringLiteral("q\" b\\ t\t n\n r\r b\b f\f bell\x07 del\x7f")},
        {"non-ASCII", QStringLiteral("Saône — 東京 📷"), QStringLiteral("Saône — 東京 📷")},
        {"lone high surrogate", loneHigh, loneHigh},
        {"lone low surrogate", loneLow, loneLow},
        {"date", QDateTime(QDate(2024, 5, 1), QTime(14, 34, 56), QTimeZone(7200)), "2024-05-01T12:34:56Z"},
        {"list", QVariantList{1, 2.5, "x", QByteArray("y"), QVariantMap{}}, QJsonArray{1, 2.5, "x", QJsonObject{}}},
        {"string list", QStringList{"a", "b"}, QJsonArray{"a", "b"}},
        {"nested", QVariantMap{{"b\"key", 1}, {"a", QVariantList{}}, {"c", QByteArray("gone")}},
         QJsonObject{{"b\"key", 1}, {"a", QJsonArray{}}}},
        {"invalid date", QDateTime(), QJsonValue::Undefined},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QJsonObject expected{{"before", 1}, {"after", 2}};
        if (!row.written.isUndefined()) {
            expected.insert(QStringLiteral("value"), row.written);
        }
        const QVariantMap properties{{"before", 1}, {"value", row.value}, {"after", 2}};
        EXPECT_EQ(propertiesJSON(properties),
                  QString::fromUtf8(QJsonDocument(expected).toJson(QJsonDocument::Compact)));
    }
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
