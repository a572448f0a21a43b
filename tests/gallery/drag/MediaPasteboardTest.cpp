#include "gallery/drag/MediaDragPreview.h"
#include "gallery/drag/MediaPasteboard.h"

#include "media/camera/CameraTestKit.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <sys/time.h>

namespace pivra::test {
namespace {

const QString uriList = QStringLiteral("text/uri-list");
const QString copiedFiles = QStringLiteral("x-special/gnome-copied-files");

// A connected phone holding one photo, and a folder for shared copies.
class MediaPasteboardTest : public CameraManagerTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        device = publishedDevice({deviceFile(QStringLiteral("IMG_0001.JPG"), content)});
        ASSERT_EQ(published.front().size(), 1u);
        photo = published.front().front();
    }

    QString sharedRoot() const { return temp.filePath(QStringLiteral("Pivra Shared")); }
    QStringList shareFolders() const { return QDir(sharedRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }

    MediaPasteboard::LocalFile localFile(const MediaItem& item) const
    {
        std::optional<MediaPasteboard::LocalFile> result;
        QObject context;
        pasteboard.localFile(item, &context, [&](const MediaPasteboard::LocalFile& file) { result = file; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));
        return result.value_or(MediaPasteboard::LocalFile{});
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir temp;
    const QByteArray content = QByteArrayLiteral("the original's bytes");
    MediaPasteboard pasteboard{&manager, sharedRoot()};
    CameraDeviceId device = 0;
    MediaItem photo;
};

TEST_F(MediaPasteboardTest, AFolderItemDragsAsItsOwnFileWithoutACopy)
{
    const QString path = temp.filePath(QStringLiteral("a photo #1.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    MediaItem item;
    item.setPath(path);
    item.setName(QStringLiteral("a photo #1.jpg"));

    const std::unique_ptr<QMimeData> data = pasteboard.mimeData(item);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(data->data(copiedFiles), "copy\n" + QUrl::fromLocalFile(path).toEncoded());
    EXPECT_FALSE(QDir(sharedRoot()).exists());

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(pasteboard.mimeData(item)) << "a deleted file gives no drag";
    EXPECT_EQ(localFile(item).path, path) << "the share is still handed the path, unchecked";
}

TEST_F(MediaPasteboardTest, ADeviceItemIsCopiedOutOnlyWhenTheDropAsksAndOnlyOnce)
{
    photo.setName(QStringLiteral("../IMG/0001.JPG")); // a name that would leave its folder
    const std::unique_ptr<QMimeData> data = pasteboard.mimeData(photo);
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->hasFormat(uriList));
    EXPECT_TRUE(fake.readRequests().empty()) << "nothing is read as the drag starts";
    EXPECT_FALSE(QDir(sharedRoot()).exists());

    const QList<QUrl> urls = data->urls();
    ASSERT_EQ(urls.size(), 1);
    const QString copy = urls.front().toLocalFile();
    ASSERT_EQ(shareFolders().size(), 1);
    EXPECT_EQ(copy, sharedRoot() + u'/' + shareFolders().front() + QStringLiteral("/.._IMG_0001.JPG"));
    EXPECT_EQ(read(copy), content);
    const std::size_t reads = fake.readRequests().size();
    EXPECT_EQ(data->data(copiedFiles), "copy\n" + urls.front().toEncoded());
    EXPECT_EQ(data->urls(), urls);
    EXPECT_EQ(fake.readRequests().size(), reads) << "later reads of the same drag reuse the copy";
}

TEST_F(MediaPasteboardTest, EachShareOfADeviceItemGetsAFolderOfItsOwn)
{
    const MediaPasteboard::LocalFile first = localFile(photo);
    const MediaPasteboard::LocalFile second = localFile(photo);
    ASSERT_FALSE(first.error);
    ASSERT_FALSE(second.error);
    EXPECT_NE(QFileInfo(first.path).path(), QFileInfo(second.path).path());
    EXPECT_EQ(read(first.path), content);
    EXPECT_EQ(read(second.path), content);
    EXPECT_EQ(shareFolders().size(), 2);
}

TEST_F(MediaPasteboardTest, AnUnpluggedDeviceGivesNoDragAndItsShareFails)
{
    fake.unplug(device);
    ASSERT_TRUE(drain());
    EXPECT_FALSE(pasteboard.mimeData(photo));
    EXPECT_FALSE(MediaPasteboard().mimeData(photo)) << "without the devices' table nothing is reachable";
    const MediaPasteboard::LocalFile file = localFile(photo);
    ASSERT_TRUE(file.error);
    EXPECT_EQ(file.error->domain, u"Pivra.CameraExport");
}

TEST_F(MediaPasteboardTest, SharesADayOldAreRemovedAndNewerOnesKept)
{
    const QString old = pasteboard.newShareFolder();
    const QString recent = pasteboard.newShareFolder();
    for (const QString& folder : {old, recent}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        QFile file(folder + QStringLiteral("/x.jpg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const timeval twoDaysAgo{QDateTime::currentSecsSinceEpoch() - 2 * 86400, 0};
    const timeval times[2] = {twoDaysAgo, twoDaysAgo};
    ASSERT_EQ(::utimes(QFile::encodeName(old).constData(), times), 0);

    MediaPasteboard::removeSharesOlderThan(sharedRoot(), QDateTime::currentDateTime().addDays(-1));
    EXPECT_FALSE(QDir(old).exists());
    EXPECT_TRUE(QFile::exists(recent + QStringLiteral("/x.jpg")));
}

struct SizeRow {
    QSizeF source;
    double maxSide;
    QSizeF expected;
};

TEST(MediaDragPreviewTest, ImagesAreScaledDownToTheirLongestSideNeverUp)
{
    const SizeRow rows[] = {
        {{420, 280}, 96, {96, 64}},
        {{420, 280}, 56, {56, 56.0 * 280 / 420}},
        {{280, 420}, 96, {64, 96}},
        {{32, 32}, 96, {32, 32}},
        {{4000, 2}, 96, {96, 1}},
        {{0, 0}, 96, {1, 1}},
    };
    for (const SizeRow& row : rows) {
        const QSizeF size = MediaDragPreview::scaledSize(row.source, row.maxSide);
        EXPECT_NEAR(size.width(), row.expected.width(), 1e-9) << row.source.width() << "x" << row.source.height();
        EXPECT_NEAR(size.height(), row.expected.height(), 1e-9) << row.source.width() << "x" << row.source.height();
    }
}

} // namespace
} // namespace pivra::test
