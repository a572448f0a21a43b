#include "catalog/FolderWalk.h"
#include "catalog/ScanTestKit.h"
#include "support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra::test {
namespace {

class FolderWalkTest : public TempFolderTest {
protected:
    static QStringList relativesOf(const FolderWalk& walk)
    {
        QStringList relatives;
        for (const WalkedFile& file : walk.files) {
            relatives.append(file.relative);
        }
        return relatives;
    }
};

TEST_F(FolderWalkTest, FindsFilesBelowTheRootAndPassesOverWhatIsNotTheLibrary)
{
    writeFile(QStringLiteral("lib/b.jpg"), "b");
    writeFile(QStringLiteral("lib/a/2.jpg"), "2");
    writeFile(QStringLiteral("lib/a/10.jpg"), "10");
    writeFile(QStringLiteral("lib/.hidden.jpg"), "hidden");
    writeFile(QStringLiteral("lib/.pivra/thumbnails/x.jpg"), "hidden folder");
    writeFile(QStringLiteral("lib/Photos Library.photoslibrary/originals/x.jpg"), "package");
    writeFile(QStringLiteral("lib/Tool.APP/Contents/icon.jpg"), "package");
    writeFile(QStringLiteral("lib/c.key"), "a file, not a package folder");
    writeFile(QStringLiteral("outside/secret.jpg"), "outside");
    const QByteArray library = QFile::encodeName(pathOf(QStringLiteral("lib")));
    ASSERT_EQ(symlink(QFile::encodeName(pathOf(QStringLiteral("outside/secret.jpg"))).constData(),
                      QByteArray(library + "/link.jpg").constData()), 0);
    ASSERT_EQ(symlink(QFile::encodeName(pathOf(QStringLiteral("outside"))).constData(),
                      QByteArray(library + "/linked-folder").constData()), 0);
    const int fd = open(QByteArray(library + "/bad-\xff\xfe.jpg").constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(mkfifo(QByteArray(library + "/pipe.jpg").constData(), 0644), 0);

    const FolderWalk walk = walkFolder(pathOf(QStringLiteral("lib/")), {});
    ASSERT_TRUE(walk.opened);
    EXPECT_TRUE(walk.complete);
    EXPECT_EQ(relativesOf(walk), (QStringList{QStringLiteral("a/10.jpg"), QStringLiteral("a/2.jpg"),
                                             QStringLiteral("b.jpg"), QStringLiteral("c.key")}));
    ASSERT_EQ(walk.files.size(), 4u);
    EXPECT_EQ(walk.files[2].path, pathOf(QStringLiteral("lib/b.jpg")));
    EXPECT_EQ(walk.files[2].values.fileSize, 1);
    EXPECT_TRUE(walk.files[2].values.contentModificationDate);
}

TEST_F(FolderWalkTest, PathsKeepTheRootAsGivenAndRelativesComeFromTheResolvedRoot)
{
    writeFile(QStringLiteral("real/x.jpg"), "x");
    ASSERT_EQ(symlink(QFile::encodeName(pathOf(QStringLiteral("real"))).constData(),
                      QFile::encodeName(pathOf(QStringLiteral("alias"))).constData()), 0);
    const FolderWalk walk = walkFolder(pathOf(QStringLiteral("alias")), {});
    ASSERT_EQ(walk.files.size(), 1u);
    EXPECT_EQ(walk.files[0].path, pathOf(QStringLiteral("alias/x.jpg")));
    EXPECT_EQ(walk.files[0].relative, QStringLiteral("x.jpg"));
    EXPECT_EQ(walk.rootPath, QDir(pathOf(QStringLiteral("real"))).canonicalPath());
}

TEST_F(FolderWalkTest, UnreadableFolderMakesTheWalkIncomplete)
{
    writeFile(QStringLiteral("lib/open/a.jpg"), "a");
    writeFile(QStringLiteral("lib/locked/b.jpg"), "b");
    ASSERT_EQ(chmod(QFile::encodeName(root()).constData(), 0755), 0);
    const QByteArray locked = QFile::encodeName(pathOf(QStringLiteral("lib/locked")));
    ASSERT_EQ(chmod(locked.constData(), 0), 0);
    const FolderWalk walk = walkAsOrdinaryUser(pathOf(QStringLiteral("lib")), {});
    chmod(locked.constData(), 0755);
    ASSERT_TRUE(walk.opened);
    EXPECT_FALSE(walk.complete);
    EXPECT_EQ(relativesOf(walk), QStringList{QStringLiteral("open/a.jpg")});
}

TEST_F(FolderWalkTest, MissingRootIsNotOpenedAndCancelledWalkIsIncomplete)
{
    EXPECT_FALSE(walkFolder(pathOf(QStringLiteral("missing")), {}).opened);
    writeFile(QStringLiteral("plain.jpg"), "x");
    EXPECT_FALSE(walkFolder(pathOf(QStringLiteral("plain.jpg")), {}).opened);

    makeFolder(QStringLiteral("lib/a"));
    CancelSource cancel;
    cancel.cancel();
    const FolderWalk walk = walkFolder(pathOf(QStringLiteral("lib")), cancel.token());
    EXPECT_TRUE(walk.opened);
    EXPECT_FALSE(walk.complete);
}

TEST_F(FolderWalkTest, IdentityFollowsTheFolderNotThePath)
{
    const QString folder = makeFolder(QStringLiteral("disk"));
    const std::optional<FolderIdentity> before = folderIdentity(folder);
    ASSERT_TRUE(before);
    EXPECT_EQ(folderIdentity(folder), before);
    ASSERT_TRUE(QDir().rename(folder, pathOf(QStringLiteral("elsewhere"))));
    makeFolder(QStringLiteral("disk"));
    EXPECT_NE(folderIdentity(folder), before);
    EXPECT_FALSE(folderIdentity(pathOf(QStringLiteral("gone"))));
}

TEST(PackageFolderNames, AreRecognisedByExtensionWhateverTheCase)
{
    EXPECT_TRUE(isPackageFolderName(QStringLiteral("Photos Library.photoslibrary")));
    EXPECT_TRUE(isPackageFolderName(QStringLiteral("Safari.APP")));
    EXPECT_TRUE(isPackageFolderName(QStringLiteral("Qt.framework")));
    EXPECT_FALSE(isPackageFolderName(QStringLiteral("app")));
    EXPECT_FALSE(isPackageFolderName(QStringLiteral(".app")));
    EXPECT_FALSE(isPackageFolderName(QStringLiteral("2020.trip")));
}

} // namespace
} // namespace pivra::test
