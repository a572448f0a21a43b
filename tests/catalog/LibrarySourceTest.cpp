#include "catalog/model/LibrarySource.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <gtest/gtest.h>

#include <functional>

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
    EXPECT_TRUE(decoded.unreadable.isEmpty());
    ASSERT_EQ(decoded.sources.size(), 1);
    const LibrarySource& back = decoded.sources.first();
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

// The one element of a list of `element` alone; none when it was set aside.
std::optional<LibrarySource> decodeOne(const QByteArray& element)
{
    const DecodedSources decoded = decodeSources(arrayOf(element));
    EXPECT_EQ(decoded.sources.size() + (decoded.unreadable.isEmpty() ? 0 : 1), 1);
    return decoded.sources.isEmpty() ? std::nullopt : std::optional(decoded.sources.first());
}

TEST(LibrarySourceCoding, KindDefaultsToFolderAndRejectsUnknownWords)
{
    EXPECT_EQ(decodeOne(minimalObject + "}")->kind, LibrarySource::Kind::folder);
    EXPECT_EQ(decodeOne(minimalObject + R"(,"kind":null})")->kind, LibrarySource::Kind::folder);
    const auto camera = decodeOne(minimalObject + R"(,"kind":"camera","deviceID":"X1"})");
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->kind, LibrarySource::Kind::camera);
    EXPECT_EQ(camera->deviceID, QStringLiteral("X1"));

    EXPECT_FALSE(decodeOne(minimalObject + R"(,"kind":"disk"})"));
    EXPECT_FALSE(decodeOne(minimalObject + R"(,"kind":1})"));
}

// One element that does not decode is set aside alone: the good ones are
// kept in order, the bad ones kept as they were; a value that is no list is
// set aside whole.
TEST(LibrarySourceCoding, BadElementsAreSetAsideAndTheOthersKept)
{
    const QByteArray good = minimalObject + "}";
    const QByteArray camera = R"({"id":"2B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"Phone","bookmark":"",)"
                              R"("lastKnownPath":"","kind":"camera"})";
    const QByteArray bad = R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"x","lastKnownPath":"/p"})";
    const DecodedSources mixed = decodeSources("[" + good + ",7," + bad + "," + camera + "]");
    ASSERT_EQ(mixed.sources.size(), 2);
    EXPECT_EQ(mixed.sources[0].name, QStringLiteral("Photos"));
    EXPECT_EQ(mixed.sources[1].name, QStringLiteral("Phone"));
    EXPECT_EQ(QJsonDocument::fromJson(mixed.unreadable), QJsonDocument::fromJson("[7," + bad + "]"));

    EXPECT_TRUE(decodeSources("[" + good + "," + good + "]").unreadable.isEmpty());
    for (const QByteArray& notAList : {QByteArray("{}"), QByteArray("not json"), QByteArray("[")}) {
        const DecodedSources whole = decodeSources(notAList);
        EXPECT_TRUE(whole.sources.isEmpty());
        EXPECT_EQ(whole.unreadable, notAList);
    }
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
        EXPECT_FALSE(decodeOne(object)) << object.toStdString();
    }
}

TEST(LibrarySourceCoding, NullOptionalKeysAreAbsent)
{
    const auto decoded =
        decodeOne(minimalObject + R"(,"deviceID":null,"volumePath":null,"volumeName":null,"volumeCapacity":null})");
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->deviceID);
    EXPECT_FALSE(decoded->volumeCapacity);
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

// Saving compares lists instead of encoding them: every field the coding
// writes must tell two lists apart, reachability none.
TEST(LibrarySourceCoding, ListsStoreAlikeExactlyWhenTheirEncodingsAgree)
{
    const std::function<void(LibrarySource&)> edits[] = {
        [](LibrarySource& s) { s.id = QUuid::createUuid(); },
        [](LibrarySource& s) { s.name += u'2'; },
        [](LibrarySource& s) { s.bookmark += '2'; },
        [](LibrarySource& s) { s.lastKnownPath += u'2'; },
        [](LibrarySource& s) { s.kind = LibrarySource::Kind::camera; },
        [](LibrarySource& s) { s.deviceID = QStringLiteral("usb:1"); },
        [](LibrarySource& s) { s.volumePath = QStringLiteral("/media/disk"); },
        [](LibrarySource& s) { s.volumeName = QStringLiteral("disk"); },
        [](LibrarySource& s) { s.volumeCapacity = 1; },
        [](LibrarySource& s) { s.isOnline = true; },
    };
    const QList<LibrarySource> list{folderSource(), folderSource()};
    for (const auto& edit : edits) {
        QList<LibrarySource> edited = list;
        edit(edited[1]);
        EXPECT_EQ(storeAlike(list, edited), encodeSources(list) == encodeSources(edited))
            << encodeSources(edited).toStdString();
    }
    EXPECT_FALSE(storeAlike(list, list.mid(1)));
}

} // namespace
} // namespace pivra
