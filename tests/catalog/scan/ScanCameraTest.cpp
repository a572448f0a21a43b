#include "catalog/CatalogTest.h"
#include "catalog/model/Uuid.h"

#include <gtest/gtest.h>

namespace pivra::test {
namespace {

class ScanCamera : public CatalogTest {
protected:
    MediaItem deviceItem(const QString& name, std::int64_t size = 2'000'000, Timestamp modified = 1'700'000'000)
    {
        MediaItem item;
        item.setPath(QStringLiteral("pivra-camera://") + uuidString(device_) + QStringLiteral("/7/") + name);
        item.setID(MediaItem::makeID(device_, item.path()));
        item.setSourceID(device_);
        item.setName(name);
        item.setKind(name.endsWith(QStringLiteral(".MOV")) ? MediaKind::video : MediaKind::image);
        item.setCaptureDate(modified);
        item.setDateOrigin(QStringLiteral("iPhone"));
        item.setWidth(4032);
        item.setHeight(3024);
        item.setFileSize(size);
        item.setModifiedAt(modified);
        return item;
    }

    static QString key(char digit) { return QString(64, QChar(digit)); }

    QUuid device_ = QUuid::createUuid();
    QUuid folder_ = QUuid::createUuid();
};

TEST_F(ScanCamera, KeepsThumbnailsOfUnchangedFilesOnlyAndKeepsWhatTheUserSet)
{
    const MediaItem same = deviceItem(QStringLiteral("IMG_0001.HEIC"));
    const MediaItem resized = deviceItem(QStringLiteral("IMG_0002.HEIC"));
    catalog().scanCamera(device_, {same, resized});
    ASSERT_TRUE(catalog().setThumbnailKey(key('1'), same.id()));
    ASSERT_TRUE(catalog().setThumbnailKey(key('2'), resized.id()));
    catalog().setFavorite(true, same.id());

    MediaItem grown = resized;
    grown.setFileSize(grown.fileSize() + 1);
    catalog().scanCamera(device_, {same, grown});
    EXPECT_EQ(catalog().item(same.id())->thumbnailKey(), key('1'));
    EXPECT_TRUE(catalog().item(same.id())->isFavorite());
    EXPECT_FALSE(catalog().item(resized.id())->thumbnailKey());
    EXPECT_EQ(catalog().item(resized.id())->fileSize(), grown.fileSize());
}

TEST_F(ScanCamera, EmptyCatalogRemovesTheDevicesRowsOnly)
{
    rows().insert(folderRow(folder_, QStringLiteral("a.jpg")));
    catalog().scanCamera(device_, {deviceItem(QStringLiteral("IMG_0001.HEIC")), deviceItem(QStringLiteral("IMG_0002.MOV"))});
    EXPECT_EQ(galleryIDs().size(), 3);
    catalog().scanCamera(device_, {});
    EXPECT_EQ(galleryIDs(), QStringList{folderRow(folder_, QStringLiteral("a.jpg")).itemID()});
}

TEST_F(ScanCamera, FailureRollsTheWholeCatalogBack)
{
    const MediaItem kept = deviceItem(QStringLiteral("IMG_0001.HEIC"));
    catalog().scanCamera(device_, {kept});
    rows().exec("CREATE TRIGGER refuse BEFORE INSERT ON media WHEN NEW.name='BAD.HEIC' "
                "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    try {
        catalog().scanCamera(device_, {deviceItem(QStringLiteral("IMG_0003.HEIC")), deviceItem(QStringLiteral("BAD.HEIC"))});
        ADD_FAILURE() << "the failed write was not reported";
    } catch (const CatalogError& error) {
        EXPECT_EQ(error.kind(), CatalogError::Kind::step);
    }
    EXPECT_EQ(galleryIDs(), QStringList{kept.id()}) << "half a device catalog was written, or the old rows deleted";
}

TEST_F(ScanCamera, ExclusiveKeysLeaveOutSharedOnesAndRemoveTakesAlbumLinks)
{
    MediaRow shared = folderRow(folder_, QStringLiteral("shared.jpg"));
    shared.thumbnailKey = key('a');
    rows().insert(shared);
    const MediaItem twin = deviceItem(QStringLiteral("IMG_0001.HEIC"));
    const MediaItem own = deviceItem(QStringLiteral("IMG_0002.HEIC"));
    const MediaItem pending = deviceItem(QStringLiteral("IMG_0003.HEIC"));
    catalog().scanCamera(device_, {twin, own, pending});
    catalog().setThumbnailKey(key('a'), twin.id());
    catalog().setThumbnailKey(key('b'), own.id());
    EXPECT_EQ(catalog().exclusiveThumbnailKeys(device_), QStringList{key('b')});

    const QUuid album = catalog().createAlbum(QStringLiteral("Phone"));
    catalog().addToAlbum(album, own.id());
    catalog().addToAlbum(album, shared.itemID());
    catalog().remove(device_);
    EXPECT_EQ(galleryIDs(), QStringList{shared.itemID()});
    EXPECT_EQ(catalog().albums().front().itemCount, 1);
    EXPECT_EQ(catalog().exclusiveThumbnailKeys(folder_), QStringList{key('a')});
}

} // namespace
} // namespace pivra::test
