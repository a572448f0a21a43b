#include "catalog/scan/FolderWalk.h"
#include "catalog/scan/ScanTestKit.h"
#include "platform/folders/FileNameText.h"
#include "support/system/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QThread>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra::test {
namespace {

class FolderWalkTest : public TempFolderTest {
protected:
    static QStringList relativesOf(const FolderWalk& walk)
    {
        QStringList relatives;
        for (std::size_t index = 0; index < walk.files.size(); ++index) {
            relatives.append(walk.files[index].relative);
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
    // A name that is not UTF-8 is the library's too, and keeps its bytes.
    EXPECT_EQ(relativesOf(walk), (QStringList{QStringLiteral("a/10.jpg"), QStringLiteral("a/2.jpg"),
                                             QStringLiteral("b.jpg"), fileNameText("bad-\xff\xfe.jpg"),
                                             QStringLiteral("c.key")}));
    ASSERT_EQ(walk.files.size(), 5u);
    EXPECT_EQ(fileNameBytes(walk.files[3].path), library + "/bad-\xff\xfe.jpg");
    EXPECT_EQ(walk.files[2].path, pathOf(QStringLiteral("lib/b.jpg")));
    EXPECT_EQ(walk.files[2].values.fileSize, 1);
    EXPECT_TRUE(walk.files[2].values.contentModificationDate);
}

// The root's folders are walked on several threads, and so are those inside
// a lone folder (a card's "DCIM"); what they find comes back in the order of
// one depth-first walk, between the files of the folders around them.
TEST_F(FolderWalkTest, FoldersWalkedApartKeepTheOrderOfOneWalk)
{
    for (const QString& parent : {QString(), QStringLiteral("DCIM/"), QStringLiteral("a/b/")}) {
        const QString library = QStringLiteral("lib-%1").arg(parent.size());
        QStringList expected;
        for (int folder = 0; folder < 40; ++folder) {
            const QString name = library + u'/' + parent + QStringLiteral("f%1").arg(folder, 2, 10, QLatin1Char('0'));
            expected.append(writeFile(name + QStringLiteral("/a/deep.jpg"), "deep"));
            for (int file = 0; file < folder % 4; ++file) {
                expected.append(writeFile(name + QStringLiteral("/p%1.jpg").arg(file), "photo"));
            }
            // "f07" sorts before "f07.jpg": the folder's files come first.
            expected.append(writeFile(name + QStringLiteral(".jpg"), "beside"));
        }
        makeFolder(library + u'/' + parent + QStringLiteral("f40-empty"));
        expected.append(writeFile(library + QStringLiteral("/z.jpg"), "last"));

        const FolderWalk walk = walkFolder(pathOf(library), {});
        ASSERT_TRUE(walk.complete);
        QStringList paths;
        for (std::size_t index = 0; index < walk.files.size(); ++index) {
            paths.append(walk.files[index].path);
        }
        EXPECT_EQ(paths, expected) << "below \"" << parent.toStdString() << '"';
    }
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

// Like the root-owned "lost+found" at the top of every ext4 disk: the folders
// that cannot be opened are named, and everything else is seen for sure.
TEST_F(FolderWalkTest, UnopenableFoldersAreNamedAndTheRestIsSeen)
{
    writeFile(QStringLiteral("lib/open/a.jpg"), "a");
    writeFile(QStringLiteral("lib/locked/b.jpg"), "b");
    writeFile(QStringLiteral("lib/open/unsearchable/c.jpg"), "c");
    ASSERT_EQ(chmod(QFile::encodeName(root()).constData(), 0755), 0);
    const QByteArray locked = QFile::encodeName(pathOf(QStringLiteral("lib/locked")));
    const QByteArray unsearchable = QFile::encodeName(pathOf(QStringLiteral("lib/open/unsearchable")));
    ASSERT_EQ(chmod(locked.constData(), 0), 0);
    ASSERT_EQ(chmod(unsearchable.constData(), 0444), 0); // listed, but its entries cannot be looked at
    const FolderWalk walk = walkAsOrdinaryUser(pathOf(QStringLiteral("lib")), {});
    chmod(locked.constData(), 0755);
    chmod(unsearchable.constData(), 0755);
    ASSERT_TRUE(walk.opened);
    EXPECT_TRUE(walk.complete);
    EXPECT_EQ(walk.unopenedFolders, (QStringList{QStringLiteral("locked"), QStringLiteral("open/unsearchable")}));
    EXPECT_EQ(relativesOf(walk), QStringList{QStringLiteral("open/a.jpg")});
}

// Builds a chain of `depth` folders "d/d/d/…" below `parent` with a file
// "top.jpg" in the tenth, without ever naming a path longer than one name.
void makeDeepTree(const QString& parent, int depth)
{
    int fd = open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 0; level < depth; ++level) {
        if (level == 10) {
            close(openat(fd, "top.jpg", O_CREAT | O_WRONLY, 0644));
        }
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        const int child = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        ASSERT_GE(child, 0);
        fd = child;
    }
    close(fd);
}

// Removes a chain made by makeDeepTree by lifting each level up to `parent`,
// since a recursive removal would meet paths over the system's limit.
void removeDeepTree(const QString& parent)
{
    const int fd = open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (;;) {
        const int top = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        if (top < 0) {
            break;
        }
        unlinkat(top, "top.jpg", 0);
        const bool lifted = renameat(top, "d", fd, "next") == 0;
        close(top);
        ASSERT_EQ(unlinkat(fd, "d", AT_REMOVEDIR), 0);
        if (!lifted || renameat(fd, "next", fd, "d") != 0) {
            break;
        }
    }
    close(fd);
}

// The walk must not recurse once per level: a pool thread's stack ends
// somewhere past ten thousand levels, and this thread's much sooner.
FolderWalk walkOnASmallStack(const QString& root)
{
    FolderWalk walk;
    QThread* thread = QThread::create([&] { walk = walkFolder(root, {}); });
    thread->setStackSize(256 * 1024);
    thread->start();
    thread->wait();
    delete thread;
    return walk;
}

TEST_F(FolderWalkTest, VeryDeepTreeIsWalkedWithinTheOpenFileLimitAndBoundedMemory)
{
    constexpr int depth = 20000;
    const QString library = makeFolder(QStringLiteral("lib"));
    makeDeepTree(library, depth);
    // The usual limit of a desktop session, whatever this machine allows.
    struct rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    const struct rlimit usual {std::min<rlim_t>(limit.rlim_cur, 1024), limit.rlim_max};
    setrlimit(RLIMIT_NOFILE, &usual);
    struct rusage before {};
    getrusage(RUSAGE_SELF, &before);

    const FolderWalk walk = walkOnASmallStack(library);
    struct rusage after {};
    getrusage(RUSAGE_SELF, &after);
    setrlimit(RLIMIT_NOFILE, &limit);
    removeDeepTree(library);

    ASSERT_TRUE(walk.opened);
    EXPECT_TRUE(walk.complete);
    ASSERT_EQ(walk.files.size(), 1u);
    EXPECT_EQ(walk.files[0].relative, QStringLiteral("d/").repeated(10) + QStringLiteral("top.jpg"));
    // The folder past the walk's share of open files counts as unopened.
    ASSERT_EQ(walk.unopenedFolders.size(), 1);
    EXPECT_LT(static_cast<rlim_t>(walk.unopenedFolders[0].count(u'd')), usual.rlim_cur);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes grown during the walk";
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
    EXPECT_EQ(walkFolder(folder, {}).rootIdentity, before) << "the birth time included";
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

// Enough files to fill many blocks, one path longer than a block, and values
// that are missing: each file comes back as it went in.
TEST(WalkedFiles, GiveBackEveryFileAsAppended)
{
    const auto relative = [](int index) {
        return index == 7 ? QString(70000, u'ş') : QStringLiteral("İstanbul/%1/ğüşı.jpg").arg(index);
    };
    const auto values = [](int index) {
        FileValues fileValues;
        fileValues.fileSize = index % 3 ? std::optional<std::int64_t>(index) : std::nullopt;
        fileValues.contentModificationDate = index % 5 ? std::optional(index + 0.5) : std::nullopt;
        fileValues.creationDate = index % 7 ? std::optional(index + 0.25) : std::nullopt;
        return fileValues;
    };
    constexpr int count = 5000;
    WalkedFiles files(QStringLiteral("/media/disk"));
    for (int index = 0; index < count; ++index) {
        files.append(relative(index), values(index));
    }

    ASSERT_EQ(files.size(), std::size_t(count));
    for (int index = 0; index < count; ++index) {
        const WalkedFile file = files[index];
        ASSERT_EQ(file.relative, relative(index)) << index;
        EXPECT_EQ(file.path, QStringLiteral("/media/disk/") + relative(index));
        EXPECT_EQ(file.values.fileSize, values(index).fileSize);
        EXPECT_EQ(file.values.contentModificationDate, values(index).contentModificationDate);
        EXPECT_EQ(file.values.creationDate, values(index).creationDate);
    }
}

} // namespace
} // namespace pivra::test
