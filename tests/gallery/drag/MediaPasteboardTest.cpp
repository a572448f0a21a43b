#include "gallery/drag/MediaDragPreview.h"
#include "gallery/drag/MediaPasteboard.h"

#include "media/camera/CameraTestKit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <sys/time.h>
#include <unistd.h>

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

// The shared folder as another user could leave it: links where the
// program's folders should be, pointing at a folder of the user's own.
class SharedFolderHostileTest : public MediaPasteboardTest {
protected:
    static void makeFile(const QString& path)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }

    static void age(const QString& path)
    {
        const timeval twoDaysAgo{QDateTime::currentSecsSinceEpoch() - 2 * 86400, 0};
        const timeval times[2] = {twoDaysAgo, twoDaysAgo};
        ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
    }

    static void link(const QString& target, const QString& path)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
    }

    static void cleanUp(const QString& root)
    {
        MediaPasteboard::removeSharesOlderThan(root, QDateTime::currentDateTime().addDays(-1));
    }

    QString documents() const { return temp.filePath(QStringLiteral("Documents")); }
    const QString uuidName = QStringLiteral("0B5D2C1E-3F4A-4B6C-8D7E-9F0A1B2C3D4E");
};

TEST_F(SharedFolderHostileTest, TheCleanUpRemovesOnlyItsOwnOldFoldersAndFollowsNoLink)
{
    makeFile(documents() + QStringLiteral("/letter.txt"));
    age(documents());
    const QString old = pasteboard.newShareFolder();
    const QString recent = pasteboard.newShareFolder();
    ASSERT_FALSE(old.isEmpty());
    makeFile(old + QStringLiteral("/x.jpg"));
    link(documents(), old + QStringLiteral("/inside"));
    makeFile(recent + QStringLiteral("/x.jpg"));
    link(documents(), sharedRoot() + u'/' + uuidName); // a link named as one of ours
    makeFile(sharedRoot() + QStringLiteral("/not-ours/x.jpg"));
    for (const QString& folder : {old, QString(sharedRoot() + QStringLiteral("/not-ours"))}) {
        age(folder);
    }

    cleanUp(sharedRoot());
    EXPECT_FALSE(QFileInfo::exists(old)) << "an old folder of ours goes, the link inside it as a link";
    EXPECT_TRUE(QFile::exists(recent + QStringLiteral("/x.jpg")));
    EXPECT_TRUE(QFileInfo(sharedRoot() + u'/' + uuidName).isSymLink()) << "a link is not a folder of ours";
    EXPECT_TRUE(QFile::exists(sharedRoot() + QStringLiteral("/not-ours/x.jpg")));
    EXPECT_TRUE(QFile::exists(documents() + QStringLiteral("/letter.txt")));
    EXPECT_EQ(QFileInfo(sharedRoot()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
}

TEST_F(SharedFolderHostileTest, ASharedFolderThatIsALinkIsNeitherUsedNorCleaned)
{
    makeFile(documents() + u'/' + uuidName + QStringLiteral("/letter.txt"));
    age(documents() + u'/' + uuidName);
    link(documents(), sharedRoot());

    cleanUp(sharedRoot());
    cleanUp(sharedRoot() + u'/'); // a trailing slash would have the link followed
    EXPECT_TRUE(QFile::exists(documents() + u'/' + uuidName + QStringLiteral("/letter.txt")));

    EXPECT_TRUE(pasteboard.newShareFolder().isEmpty());
    const MediaPasteboard::LocalFile file = localFile(photo);
    ASSERT_TRUE(file.error) << "a share needs a private folder";
    EXPECT_EQ(QDir(documents()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{uuidName});
}

TEST_F(SharedFolderHostileTest, ASharedFolderOwnedByAnotherUserIsNotUsed)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a folder to another user needs root";
    }
    constexpr uid_t nobody = 65534;
    makeFile(sharedRoot() + u'/' + uuidName + QStringLiteral("/x.jpg"));
    age(sharedRoot() + u'/' + uuidName);
    for (const QString& path : {sharedRoot(), QString(sharedRoot() + u'/' + uuidName)}) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    }

    EXPECT_TRUE(pasteboard.newShareFolder().isEmpty());
    EXPECT_TRUE(localFile(photo).error);
    cleanUp(sharedRoot());
    EXPECT_EQ(shareFolders(), QStringList{uuidName});
    EXPECT_TRUE(QFile::exists(sharedRoot() + u'/' + uuidName + QStringLiteral("/x.jpg")));
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
