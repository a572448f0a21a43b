#include "platform/cameras/CameraTemporaries.h"

#include "support/system/TempFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <sys/stat.h>

namespace pivra {
namespace {

using CameraTemporariesTest = test::TempFolderTest;

// Copies of device files lie in a private folder of the program's beside
// "Pivra Shared", never in the system's temporary folder, and keep the
// extension readers go by.
TEST_F(CameraTemporariesTest, CopiesGoIntoAPrivateFolderBesideTheSharedOne)
{
    const QString folder = CameraTemporaries::folder();
    EXPECT_EQ(folder, QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/Pivra/Device Copies"));
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    const QString path = CameraTemporaries::newPath(QStringLiteral("IMG_0001.HEIC"));
    EXPECT_EQ(QFileInfo(path).path(), folder);
    EXPECT_TRUE(path.endsWith(u".HEIC"));
    EXPECT_NE(CameraTemporaries::newPath(QStringLiteral("IMG_0001.HEIC")), path);

    QTemporaryFile copy(CameraTemporaries::fileTemplate(QStringLiteral("clip.MOV")));
    ASSERT_TRUE(copy.open());
    EXPECT_EQ(QFileInfo(copy.fileName()).path(), folder);
    EXPECT_TRUE(copy.fileName().endsWith(u".MOV"));
}

// At start only files written before it go: not the copies being made
// meanwhile, nor a folder or a link someone put there.
TEST_F(CameraTemporariesTest, TheSweepTakesOnlyFilesWrittenBeforeIt)
{
    const QDateTime started = QDateTime::currentDateTime();
    const QString left = writeFile(QStringLiteral("copies/left.jpg"), "x");
    const QString outside = writeFile(QStringLiteral("outside.jpg"), "x");
    makeFolder(QStringLiteral("copies/folder"));
    ASSERT_TRUE(QFile::link(outside, pathOf(QStringLiteral("copies/link.jpg"))));
    const auto writtenAt = [](const QString& path, const QDateTime& when) {
        QFile file(path);
        return file.open(QIODevice::Append) && file.setFileTime(when, QFileDevice::FileModificationTime);
    };
    ASSERT_TRUE(writtenAt(left, started.addSecs(-60)));
    ASSERT_TRUE(writtenAt(outside, started.addSecs(-60)));
    const QString making = writeFile(QStringLiteral("copies/making.jpg"), "x");
    ASSERT_TRUE(writtenAt(making, started.addSecs(1)));

    EXPECT_EQ(CameraTemporaries::removeOlderThan(pathOf(QStringLiteral("copies")), started), 1);
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_TRUE(QFileInfo::exists(making));
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_TRUE(QFileInfo(pathOf(QStringLiteral("copies/link.jpg"))).isSymLink());
    EXPECT_TRUE(QFileInfo(pathOf(QStringLiteral("copies/folder"))).isDir());
}

} // namespace
} // namespace pivra
