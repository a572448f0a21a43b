#include "gallery/drag/DeviceOriginalCopy.h"
#include "gallery/drag/MediaDragPreview.h"
#include "gallery/drag/MediaPasteboard.h"

#include "gallery/TileBadges.h"
#include "media/camera/CameraTestKit.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "support/desktop/DragData.h"
#include "support/desktop/Renders.h"

#include <QDir>
#include <QDrag>
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
    QObject context; // told of refused drops
    const QByteArray content = QByteArray(200 * 1024, 'x') + QByteArrayLiteral("the original's last bytes");
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

    const std::unique_ptr<QMimeData> data = awaitDragData(pasteboard, item);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(data->data(copiedFiles), "copy\n" + QUrl::fromLocalFile(path).toEncoded());
    EXPECT_FALSE(QDir(sharedRoot()).exists());

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(awaitDragData(pasteboard, item)) << "a deleted file gives no drag";
    EXPECT_EQ(localFile(item).path, path) << "the share is still handed the path, unchecked";
}

// The phone hands out its file slowly. The copy starts with the drag and runs
// off the GUI thread; a drop before it is whole gets nothing and is told once
// the drag is over; the copy goes on, and the next drag hands it over whole.
TEST_F(MediaPasteboardTest, ADeviceOriginalIsCopiedFromTheDragsStartAndHandedOverOnlyWhole)
{
    std::vector<MediaPasteboard::RefusedDrop> refused;
    pasteboard.setRefusedDropHandler(&context, [&](const MediaPasteboard::RefusedDrop& drop) { refused.push_back(drop); });
    photo.setName(QStringLiteral("../IMG/0001.JPG")); // a name that would leave its folder
    fake.setReadScript({.maxLength = 16 * 1024, .hold = true});
    std::unique_ptr<QMimeData> first = pasteboard.deviceMimeData(photo);
    ASSERT_TRUE(first);
    const auto copy = MediaPasteboard::deviceCopy(*first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.heldReads() == 1; })) << "the copy starts with the drag";
    EXPECT_TRUE(first->hasFormat(uriList));
    EXPECT_TRUE(first->data(uriList).isEmpty()) << "no part of a file is handed over";
    first.reset(); // the drag is over
    ASSERT_TRUE(QTest::qWaitFor([&] { return !refused.empty(); })) << "the GUI thread never waits for the phone";
    EXPECT_EQ(refused.front().item.path(), photo.path());
    EXPECT_FALSE(refused.front().error) << "still copying, not failed";

    fake.releaseReads();
    const std::unique_ptr<QMimeData> second = pasteboard.deviceMimeData(photo);
    EXPECT_EQ(MediaPasteboard::deviceCopy(*second), copy) << "the same copy, not a new one";
    ASSERT_TRUE(QTest::qWaitFor([&] { return copy->state() != DeviceOriginalCopy::State::copying; }, 20000));
    EXPECT_GT(fake.readRequests().size(), 4u);
    const QList<QUrl> urls = second->urls();
    ASSERT_EQ(urls.size(), 1);
    ASSERT_EQ(shareFolders().size(), 1);
    EXPECT_EQ(urls.front().toLocalFile(), sharedRoot() + u'/' + shareFolders().front() + QStringLiteral("/.._IMG_0001.JPG"));
    EXPECT_EQ(read(urls.front().toLocalFile()), content);
    EXPECT_EQ(second->data(copiedFiles), "copy\n" + urls.front().toEncoded());
    EXPECT_EQ(refused.size(), 1u);
}

// What is left of a copy that no drop took: nothing, and a failure is told
// with its reason.
TEST_F(MediaPasteboardTest, ACopyNoDropTookLeavesNothingBehind)
{
    const struct {
        const char* name;
        bool unplugged;
        bool asked;
        bool told;
    } rows[] = {
        {"a drag no target asked of", false, false, false},
        {"the phone unplugged while copying", true, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<MediaPasteboard::RefusedDrop> refused;
        pasteboard.setRefusedDropHandler(&context, [&](const MediaPasteboard::RefusedDrop& drop) { refused.push_back(drop); });
        fake.setReadScript({.maxLength = 16 * 1024, .hold = true});
        std::unique_ptr<QMimeData> data = pasteboard.deviceMimeData(photo);
        ASSERT_TRUE(data);
        const auto copy = MediaPasteboard::deviceCopy(*data);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fake.heldReads() == 1; }));
        if (row.unplugged) {
            fake.unplug(device);
            ASSERT_TRUE(QTest::qWaitFor([&] { return copy->state() == DeviceOriginalCopy::State::failed; }));
        }
        if (row.asked) {
            EXPECT_TRUE(data->urls().isEmpty());
        }
        data.reset();
        fake.releaseReads();
        EXPECT_TRUE(QTest::qWaitFor([&] { return shareFolders().isEmpty(); })) << shareFolders().join(u' ').toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return refused.size() == (row.told ? 1u : 0u); }));
        if (row.told) {
            ASSERT_TRUE(refused.front().error);
            EXPECT_EQ(refused.front().error->description, u"The iPhone is disconnected or locked.");
        }
    }
}

// The image under the pointer tells how far the copy has come as the drag
// starts, and is the picture alone once the copy is whole.
TEST_F(MediaPasteboardTest, ADeviceOriginalsDragImageShowsItsCopyUntilItIsWhole)
{
    ThumbnailStore thumbnails(ThumbnailLocations::under(temp.filePath(QStringLiteral("data")),
                                                        temp.filePath(QStringLiteral("cache"))),
                              std::make_shared<ThumbnailRenderer>());
    fake.setReadScript({.maxLength = 16 * 1024, .hold = true});
    QObject source;
    QDrag drag(&source);
    drag.setMimeData(pasteboard.deviceMimeData(photo).release());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.heldReads() == 1; }));
    const QSizeF picture = MediaDragPreview::image(thumbnails, photo, MediaDragPreview::maxSide).deviceIndependentSize();

    MediaDragPreview::show(drag, thumbnails, photo, MediaDragPreview::maxSide);
    EXPECT_EQ(MediaDragPreview::caption(drag), u"Copying 0%");
    const QImage copying = drag.pixmap().toImage();
    copying.save(rendersFolder() + QStringLiteral("/drag-image-copying.png"));
    ASSERT_GT(copying.height(), picture.height() + 10) << "a caption under the picture";
    EXPECT_EQ(drag.hotSpot(), QPointF(copying.width() / 2.0, picture.height() / 2).toPoint());
    const QSizeF pill = textPillSize(QStringLiteral("  Copying 0%  "), semiboldFont(11));
    const QColor pillEdge = copying.pixelColor(int((copying.width() - pill.width()) / 2 + 4),
                                               int(copying.height() - pill.height() / 2));
    EXPECT_GT(pillEdge.alphaF(), 0.5);
    EXPECT_LT(pillEdge.valueF(), 0.2) << "the caption's dark pill";

    fake.releaseReads();
    const auto copy = MediaPasteboard::deviceCopy(*drag.mimeData());
    ASSERT_TRUE(QTest::qWaitFor([&] { return copy->state() == DeviceOriginalCopy::State::ready; }, 20000));
    MediaDragPreview::show(drag, thumbnails, photo, MediaDragPreview::maxSide);
    EXPECT_TRUE(MediaDragPreview::caption(drag).isEmpty());
    EXPECT_EQ(drag.pixmap().deviceIndependentSize(), picture);
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
    EXPECT_FALSE(pasteboard.deviceMimeData(photo));
    EXPECT_FALSE(MediaPasteboard().deviceMimeData(photo)) << "without the devices' table nothing is reachable";
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
