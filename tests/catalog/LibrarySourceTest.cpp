#include "catalog/model/LibrarySource.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <gtest/gtest.h>

namespace pivra {
namespace {

LibrarySource folderSource()
{
    LibrarySource source;
    source.id = QUuid::fromString(QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427"));
    source.name = QStringLiteral("Photos");
    source.bookmark = QByteArray("{\"version\":1,\"path\":\"/media/disk/Photos\"}");
    source.lastKnownPath = QStringLiteral("/media/disk/Photos");
    return source;
}

QByteArray arrayOf(const QByteArray& objectText)
{
    return "[" + objectText + "]";
}

const QByteArray minimalObject = R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"Photos","bookmark":"","lastKnownPath":"/p")";

TEST(LibrarySourceCoding, RoundTripKeepsEveryStoredFieldAndResetsReachability)
{
    LibrarySource source = folderSource();
    source.isOnline = true;
    source.kind = LibrarySource::Kind::camera;
    source.deviceID = QStringLiteral("00008110-001A2C3E");
    source.volumePath = QStringLiteral("/media/disk");
    source.volumeName = QStringLiteral("disk");
    source.volumeCapacity = std::int64_t{9'007'199'254'740'993}; // above 2^53: not exact as a double

    const auto decoded = decodeSources(encodeSources({source}));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 1);
    const LibrarySource& back = decoded->first();
    EXPECT_FALSE(back.isOnline);
    EXPECT_EQ(back.id, source.id);
    EXPECT_EQ(back.name, source.name);
    EXPECT_EQ(back.bookmark, source.bookmark);
    EXPECT_EQ(back.lastKnownPath, source.lastKnownPath);
    EXPECT_EQ(back.kind, LibrarySource::Kind::camera);
    EXPECT_EQ(back.deviceID, source.deviceID);
    EXPECT_EQ(back.volumePath, source.volumePath);
    EXPECT_EQ(back.volumeName, source.volumeName);
    EXPECT_EQ(back.volumeCapacity, source.volumeCapacity);
}

TEST(LibrarySourceCoding, WritesRequiredKeysAlwaysAndOptionalKeysOnlyWhenPresent)
{
    const QJsonObject object = folderSource().toJson();
    EXPECT_EQ(object.value("id").toString(), QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427"));
    EXPECT_EQ(object.value("bookmark").toString(), QString::fromLatin1(folderSource().bookmark.toBase64()));
    EXPECT_EQ(object.value("kind").toString(), QStringLiteral("folder"));
    EXPECT_FALSE(object.contains("isOnline"));
    for (const char* key : {"deviceID", "volumePath", "volumeName", "volumeCapacity"}) {
        EXPECT_FALSE(object.contains(QLatin1StringView(key))) << key;
    }
    EXPECT_EQ(object.size(), 5);
}

TEST(LibrarySourceCoding, KindDefaultsToFolderAndRejectsUnknownWords)
{
    const auto missingKind = decodeSources(arrayOf(minimalObject + "}"));
    ASSERT_TRUE(missingKind);
    EXPECT_EQ(missingKind->first().kind, LibrarySource::Kind::folder);

    const auto nullKind = decodeSources(arrayOf(minimalObject + R"(,"kind":null})"));
    ASSERT_TRUE(nullKind);
    EXPECT_EQ(nullKind->first().kind, LibrarySource::Kind::folder);

    const auto camera = decodeSources(arrayOf(minimalObject + R"(,"kind":"camera","deviceID":"X1"})"));
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->first().kind, LibrarySource::Kind::camera);
    EXPECT_EQ(camera->first().deviceID, QStringLiteral("X1"));

    EXPECT_FALSE(decodeSources(arrayOf(minimalObject + R"(,"kind":"disk"})")));
    EXPECT_FALSE(decodeSources(arrayOf(minimalObject + R"(,"kind":1})")));
}

TEST(LibrarySourceCoding, OneBadElementFailsTheWholeList)
{
    const QByteArray good = minimalObject + "}";
    const QByteArray bad = R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"x","lastKnownPath":"/p"})";
    EXPECT_TRUE(decodeSources("[" + good + "," + good + "]"));
    EXPECT_FALSE(decodeSources("[" + good + "," + bad + "]"));
}

TEST(LibrarySourceCoding, RejectsMissingAndMistypedValues)
{
    const std::vector<QByteArray> rejected = {
        R"({"name":"x","bookmark":"","lastKnownPath":"/p"})",                                   // no id
        R"({"id":"not-a-uuid","name":"x","bookmark":"","lastKnownPath":"/p"})",                 // bad id
        R"({"id":"{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}","name":"x","bookmark":"","lastKnownPath":"/p"})",
        R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":null,"bookmark":"","lastKnownPath":"/p"})",
        R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"x","bookmark":"%%%","lastKnownPath":"/p"})",
        R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"x","bookmark":"","lastKnownPath":7})",
        minimalObject + R"(,"volumeCapacity":"big"})",
        minimalObject + R"(,"volumeCapacity":1.5})",
        minimalObject + R"(,"volumeName":3})",
    };
    for (const QByteArray& object : rejected) {
        EXPECT_FALSE(decodeSources(arrayOf(object))) << object.toStdString();
    }
    EXPECT_FALSE(decodeSources("{}"));
    EXPECT_FALSE(decodeSources("not json"));
}

TEST(LibrarySourceCoding, NullOptionalKeysAreAbsent)
{
    const auto decoded = decodeSources(arrayOf(
        minimalObject + R"(,"deviceID":null,"volumePath":null,"volumeName":null,"volumeCapacity":null})"));
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->first().deviceID);
    EXPECT_FALSE(decoded->first().volumeCapacity);
}

TEST(LibrarySourceIdentity, SourcesWithTheSameIdAreEqualAndHashAlike)
{
    LibrarySource a = folderSource();
    LibrarySource b = a;
    b.name = QStringLiteral("Renamed");
    b.isOnline = true;
    b.volumeName = QStringLiteral("Other");
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_EQ(std::hash<LibrarySource>{}(a), std::hash<LibrarySource>{}(b));
    EXPECT_EQ((QSet<LibrarySource>{a, b}.size()), 1);

    b.id = QUuid::createUuid();
    EXPECT_NE(a, b);
}

} // namespace
} // namespace pivra
