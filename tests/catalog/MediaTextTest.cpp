#include "catalog/model/MediaItem.h"
#include "catalog/model/SharedText.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace pivra {
namespace {

const QUuid source = QUuid::fromString(QStringLiteral("0f6c3a52-1d4e-4b8f-9a27-5c1e0d3b7a94"));

QString validKey(int seed)
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(seed), QCryptographicHash::Sha256).toHex());
}

struct Texts {
    const char* what;
    QString id;
    QString path;
    QString name;
    QString dateOrigin = QStringLiteral("EXIF capture");
    std::optional<QString> camera;
    std::optional<QString> metadataJSON;
    std::optional<QString> thumbnailKey;
    QUuid sourceID = source;
};

Texts inFolder(const char* what, const QString& folder, const QString& name)
{
    return {what, MediaItem::makeID(source, folder + name), folder + name, name};
}

MediaItem built(const Texts& texts)
{
    return MediaItem(texts.id, texts.sourceID, texts.path, texts.name, MediaKind::image, 1.5e9, texts.dateOrigin,
                     4032, 3024, texts.camera, std::nullopt, std::nullopt, 1000, 1.5e9, texts.metadataJSON, 0,
                     false, texts.thumbnailKey, std::nullopt, std::nullopt);
}

// The same values reached through setters, from a start that holds them
// another way each step: the id first holding no path, then the path alone.
MediaItem setOneByOne(const Texts& texts)
{
    MediaItem item = built({"start", QStringLiteral("camera:0"), QStringLiteral("/elsewhere/x.jpg"),
                            QStringLiteral("x.jpg"), QStringLiteral("File date"), QStringLiteral("Pixel 7"),
                            std::nullopt, validKey(-1), QUuid()});
    item.setThumbnailKey(texts.thumbnailKey);
    item.setName(texts.name);
    item.setPath(texts.path);
    item.setID(texts.id);
    item.setSourceID(texts.sourceID);
    item.setDateOrigin(texts.dateOrigin);
    item.setCamera(texts.camera);
    item.setMetadataJSON(texts.metadataJSON);
    return item;
}

// Every way a block keeps its values: the id and path of a folder, the id
// holding a path that does not end in the name, ids that hold no path,
// thumbnail keys that pack and that do not, and texts long enough for wider
// ends.
std::vector<Texts> representations()
{
    std::vector<Texts> rows = {
        inFolder("a file in a folder", QStringLiteral("/photos/2020/"), QStringLiteral("IMG_0001.HEIC")),
        inFolder("another file there", QStringLiteral("/photos/2020/"), QStringLiteral("IMG_0002.HEIC")),
        inFolder("a non-ASCII folder", QStringLiteral("/Fotoğraflar/İstanbul/"), QStringLiteral("ab.heic")),
        inFolder("the name is the whole path", QString(), QStringLiteral("a.jpg")),
        {"a device item", MediaItem::makeID(source, QStringLiteral("/DCIM/100APPLE/IMG_7.JPG")),
         QStringLiteral("/DCIM/100APPLE/IMG_7.JPG"), QStringLiteral("Holiday.jpg")},
        {"an id holding no path", QStringLiteral("camera:1234"), QStringLiteral("/x/y.jpg"), QStringLiteral("y.jpg")},
        {"an empty path", QStringLiteral("odd"), QString(), QStringLiteral("y.jpg")},
        {"only a source", QString(), QString(), QString(), QString()},
    };
    const auto keyed = [&rows](const char* what, std::optional<QString> key) {
        Texts row = rows.front();
        row.what = what;
        row.thumbnailKey = std::move(key);
        row.camera = QStringLiteral("Canon EOS R6");
        rows.push_back(row);
    };
    keyed("a key of 64 hex digits", validKey(1));
    keyed("another valid key", validKey(2));
    keyed("an upper-case key", validKey(1).toUpper());
    keyed("a key one digit short", validKey(1).left(63));
    keyed("a key with a non-hex digit", validKey(1).left(63) + u'g');
    keyed("an empty key", QString());
    Texts json = rows.front();
    json.what = "metadata past 255 bytes";
    json.metadataJSON = QString(300, u'j');
    rows.push_back(json);
    json.what = "metadata past 64 KiB";
    json.metadataJSON = QString(70'000, u'j');
    rows.push_back(json);
    return rows;
}

TEST(MediaTextRepresentations, ValuesComeBackAndEqualValuesAreEqualItems)
{
    const std::vector<Texts> rows = representations();
    std::vector<MediaItem> items;
    for (const Texts& row : rows) {
        const MediaItem item = built(row);
        EXPECT_EQ(item.id(), row.id) << row.what;
        EXPECT_EQ(item.path(), row.path) << row.what;
        EXPECT_EQ(item.name(), row.name) << row.what;
        EXPECT_EQ(item.sourceID(), row.sourceID) << row.what;
        EXPECT_EQ(item.dateOrigin(), row.dateOrigin) << row.what;
        EXPECT_EQ(item.camera(), row.camera) << row.what;
        EXPECT_EQ(item.metadataJSON(), row.metadataJSON) << row.what;
        EXPECT_EQ(item.thumbnailKey(), row.thumbnailKey) << row.what;
        const QByteArray id = row.id.toUtf8();
        EXPECT_TRUE(item.text().equals(MediaText::id, QUtf8StringView(id))) << row.what;
        EXPECT_FALSE(item.text().equals(MediaText::id, QUtf8StringView(QByteArray(id + 'x')))) << row.what;
        if (row.thumbnailKey) {
            const QByteArray key = row.thumbnailKey->toUtf8();
            EXPECT_TRUE(item.text().equals(MediaText::thumbnailKey, QUtf8StringView(key))) << row.what;
            EXPECT_FALSE(item.text().equals(MediaText::thumbnailKey, QUtf8StringView(validKey(3).toUtf8())))
                << row.what;
        }

        const MediaItem again = setOneByOne(row);
        EXPECT_EQ(again, item) << row.what;
        EXPECT_EQ(qHash(again), qHash(item)) << row.what;
        items.push_back(item);
    }
    for (std::size_t one = 0; one < items.size(); ++one) {
        for (std::size_t other = one + 1; other < items.size(); ++other) {
            EXPECT_NE(items[one], items[other]) << rows[one].what << " / " << rows[other].what;
            EXPECT_NE(qHash(items[one]), qHash(items[other])) << rows[one].what << " / " << rows[other].what;
        }
    }
}

TEST(MediaTextRepresentations, ItemsOfAFolderShareOneEntryThatGoesWithTheLast)
{
    const std::size_t before = SharedText::entryCount();
    // Built on a thread of its own, whose recent entries go when it ends.
    std::vector<MediaItem> items;
    std::thread([&items] {
        for (const char* name : {"a.jpg", "b.jpg"}) {
            items.push_back(built(inFolder("", QStringLiteral("/shared/"), QString::fromLatin1(name))));
        }
        items.push_back(built(inFolder("", QStringLiteral("/other/"), QStringLiteral("a.jpg"))));
    }).join();
    EXPECT_EQ(items[0].text().heapBlocks()[1], items[1].text().heapBlocks()[1]);
    EXPECT_NE(items[0].text().heapBlocks()[1], items[2].text().heapBlocks()[1]);
    EXPECT_EQ(SharedText::entryCount(), before + 2);
    items.clear();
    EXPECT_EQ(SharedText::entryCount(), before);
}

// Items are built on several reader threads at once and dropped on others;
// neighbours share folders, and more folders pass than a thread keeps as
// recent, so entries go and come back while other threads look them up.
TEST(MediaTextSharing, ThreadsBuildingAndDroppingItemsOfSharedFoldersAgree)
{
    const std::size_t before = SharedText::entryCount();
    constexpr int threadCount = 6;
    constexpr int rounds = 6000;
    const auto itemAt = [](int round) {
        Texts texts = inFolder("", QStringLiteral("/library/%1/").arg(round / 5 % 40), QStringLiteral("IMG_%1.HEIC").arg(round));
        texts.camera = round % 2 == 0 ? std::optional(QStringLiteral("Pixel 7")) : std::nullopt;
        return built(texts);
    };
    std::vector<std::vector<MediaItem>> kept(threadCount);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < threadCount; ++thread) {
        threads.emplace_back([&, thread] {
            for (int round = 0; round < rounds; ++round) {
                MediaItem item = itemAt(round);
                if (round % 7 == thread) {
                    kept[std::size_t(thread)].push_back(std::move(item));
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int thread = 0; thread < threadCount; ++thread) {
        const std::vector<MediaItem>& items = kept[std::size_t(thread)];
        ASSERT_FALSE(items.empty());
        for (std::size_t at = 0; at < items.size(); ++at) {
            const MediaItem expected = itemAt(int(at) * 7 + thread);
            ASSERT_EQ(items[at], expected) << thread << ' ' << at;
            ASSERT_EQ(items[at].path(), expected.path());
        }
    }
    kept.clear();
    // The main thread's recent entries hold up to a few of these folders.
    EXPECT_LE(SharedText::entryCount(), before + 4);
}

} // namespace
} // namespace pivra
