// Removing a tree the program made (an unpacked update, a folder of its own
// temporaries): nothing outside it is reached through a link, and folders
// made read-only are emptied all the same.
#include "platform/folders/PrivateFolder.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace pivra::test {
namespace {

class FolderTreeRemovalTest : public TempFolderTest {
protected:
    unsigned modeOf(const QString& relative) const
    {
        struct stat status {};
        ::lstat(QFile::encodeName(pathOf(relative)).constData(), &status);
        return status.st_mode & 07777;
    }

    void setMode(const QString& relative, unsigned mode) const
    {
        ASSERT_EQ(::chmod(QFile::encodeName(pathOf(relative)).constData(), mode), 0);
    }
};

TEST_F(FolderTreeRemovalTest, EmptiesReadOnlyFoldersAndLeavesWhatLinksPointAt)
{
    writeFile(QStringLiteral("outside/kept"), "x");
    setMode(QStringLiteral("outside"), 0500);
    writeFile(QStringLiteral("tree/readonly/file"), "x");
    writeFile(QStringLiteral("tree/readonly/closed/file"), "x");
    ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("outside")), pathOf(QStringLiteral("tree/folder-link"))));
    ASSERT_TRUE(QFile::link(pathOf(QStringLiteral("outside/kept")), pathOf(QStringLiteral("tree/readonly/file-link"))));
    setMode(QStringLiteral("tree/readonly/closed"), 0);
    setMode(QStringLiteral("tree/readonly"), 0555);

    EXPECT_TRUE(removeFolderTree(pathOf(QStringLiteral("tree"))));

    EXPECT_FALSE(QFileInfo::exists(pathOf(QStringLiteral("tree"))));
    EXPECT_TRUE(QFileInfo::exists(pathOf(QStringLiteral("outside/kept"))));
    EXPECT_EQ(modeOf(QStringLiteral("outside")), 0500u) << "a link's target is never given rights";
    EXPECT_TRUE(removeFolderTree(pathOf(QStringLiteral("tree")))) << "nothing there is nothing left";
}

// A folder holding a mount point cannot go; the rights it was given stay
// behind to be read: its owner's added to the modes it had, nothing else.
TEST_F(FolderTreeRemovalTest, GivesFoldersTheirOwnersRightsAsPosixModes)
{
    makeFolder(QStringLiteral("tree/open/narrow/busy"));
    TestMounts mounts;
    if (!mounts.mountTmpfs(pathOf(QStringLiteral("tree/open/narrow/busy")), QStringLiteral("pivra-busy"))) {
        GTEST_SKIP() << mounts.failure().toStdString();
    }
    setMode(QStringLiteral("tree/open/narrow"), 0510);
    setMode(QStringLiteral("tree/open"), 0555);

    EXPECT_FALSE(removeFolderTree(pathOf(QStringLiteral("tree"))));

    EXPECT_EQ(modeOf(QStringLiteral("tree/open")), 0755u);
    EXPECT_EQ(modeOf(QStringLiteral("tree/open/narrow")), 0710u);
}

} // namespace
} // namespace pivra::test
