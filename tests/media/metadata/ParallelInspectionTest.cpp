#include "catalog/scan/ScanDecisions.h"
#include "media/metadata/MetadataInspector.h"
#include "support/files/HeicMaker.h"
#include "support/files/JpegMaker.h"
#include "support/system/TempFolder.h"
#include "support/files/VideoMaker.h"

#include <QFile>

#include <algorithm>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace pivra::test {
namespace {

// A first scan decides with no fingerprints: every file is inspected.
ScanBatch decideAll(const std::shared_ptr<const FolderWalk>& walk, int width)
{
    ScanInputs inputs;
    inputs.sourceID = QUuid(QStringLiteral("{8d3f2a8e-6a53-4c0f-9d2c-1e0a4b7c5d11}"));
    inputs.inspector = std::make_shared<MetadataInspector>();
    inputs.fingerprints = std::make_shared<const ScanFingerprints>();
    inputs.walk = walk;
    return decideBatch(inputs, 0, walk->files.size(), width, CancelToken()).batch;
}

using ParallelInspection = TempFolderTest;

// Reading many files at once must give the rows one reader gives, byte for
// byte in their metadata text, over every kind of file a library holds.
TEST_F(ParallelInspection, GivesTheRowsOfOneReaderAtATime)
{
    const QString library = makeFolder(QStringLiteral("lib"));
    for (int index = 0; index < 12; ++index) {
        ExifFields exif;
        exif.dateTimeOriginal = QStringLiteral("2021:06:%1 10:00:00").arg(index + 1, 2, 10, QLatin1Char('0'));
        exif.model = QStringLiteral("Camera %1").arg(index);
        exif.orientation = index % 2 == 0 ? 1 : 6;
        exif.latitude = 41.0 + index;
        exif.longitude = 28.0 + index;
        ASSERT_TRUE(makeJpeg(library + QStringLiteral("/photo-%1.jpg").arg(index), QSize(64 + index, 48), exif));
    }
    HeicFields heic;
    heic.exif.model = QStringLiteral("iPhone 12");
    ASSERT_TRUE(makeHeic(library + QStringLiteral("/still.heic"), QSize(96, 72), heic));
    VideoFields video;
    video.make = QStringLiteral("Apple");
    video.contentIdentifier = QStringLiteral("LIVE-1");
    ASSERT_TRUE(makeVideo(library + QStringLiteral("/clip.mov"), video));
    video.rotation = 90;
    ASSERT_TRUE(makeVideo(library + QStringLiteral("/turned.mp4"), video));
    writeFile(QStringLiteral("lib/text.jpg"), "not a picture");
    writeFile(QStringLiteral("lib/empty.heic"), "");
    const QString unreadable = writeFile(QStringLiteral("lib/gone.jpg"), "swapped below");

    auto walk = std::make_shared<FolderWalk>(walkFolder(library, CancelToken()));
    // Root reads every file, so unreadable is a FIFO in the place of a file.
    ASSERT_EQ(::unlink(QFile::encodeName(unreadable).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(unreadable).constData(), 0644), 0);

    const ScanBatch alone = decideAll(walk, 1);
    const ScanBatch together = decideAll(walk, 8);
    ASSERT_EQ(alone.changed.size(), 18);
    ASSERT_EQ(together.changed.size(), alone.changed.size());
    int unread = 0;
    for (std::size_t index = 0; index < alone.changed.size(); ++index) {
        const ScanBatch::Changed& expected = alone.changed[index];
        const ScanBatch::Changed& actual = together.changed[index];
        const std::string name = expected.relative.toStdString();
        EXPECT_EQ(actual.relative, expected.relative);
        EXPECT_EQ(actual.item, expected.item) << name;
        EXPECT_EQ(actual.item.metadataJSON(), expected.item.metadataJSON()) << name;
        EXPECT_EQ(actual.fileRead, expected.fileRead) << name;
        EXPECT_EQ(actual.decodable, expected.decodable) << name;
        unread += expected.fileRead ? 0 : 1;
    }
    EXPECT_EQ(unread, 1);
    const auto still = std::find_if(alone.changed.begin(), alone.changed.end(),
                                    [](const ScanBatch::Changed& changed) { return changed.relative == u"still.heic"; });
    ASSERT_NE(still, alone.changed.end());
    EXPECT_EQ(still->item.camera(), QStringLiteral("iPhone 12")) << "the HEIC was not read";
}

} // namespace
} // namespace pivra::test
