#include "catalog/CatalogExecutor.h"
#include "catalog/scan/FakeInspector.h"
#include "catalog/scan/ScanTestKit.h"
#include "catalog/model/Uuid.h"
#include "platform/folders/FileNameText.h"
#include "support/system/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <utime.h>

namespace pivra::test {
namespace {

class Scan : public ScanFixture<FakeInspector> {
protected:
    // Writes `count` small files named name-N.jpg below `folder` of the library.
    void writeFiles(const QString& folder, int count, const QString& name = QStringLiteral("photo"))
    {
        for (int index = 0; index < count; ++index) {
            writeFile(QStringLiteral("lib/%1/%2-%3.jpg").arg(folder, name).arg(index, 4, 10, QChar(u'0')),
                      QByteArray("jpeg bytes ") + QByteArray::number(index));
        }
    }

    ScanRun scanLibrary(ScanRun run = {}, FolderWalker walker = &walkFolder)
    {
        return scanFolder(library_, std::move(run), walker);
    }

    std::int64_t rowCount()
    {
        return onCatalog([](MediaCatalog& catalog) { return catalog.galleryCount({}); });
    }

    QString idOf(const QString& relative) const
    {
        return MediaItem::makeID(source_, library_ + u'/' + relative);
    }

    std::optional<MediaItem> item(const QString& id)
    {
        return onCatalog([id](MediaCatalog& catalog) { return catalog.item(id); });
    }

};

void touch(const QString& path, double secondsFromNow)
{
    struct stat values {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &values), 0);
    const struct timespec times[2] = {{values.st_atime, 0}, {values.st_mtime + static_cast<time_t>(secondsFromNow), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// A disk unmounted at the end of the walk, its mount point left empty.
FolderWalk walkThenReplaceRoot(const QString& root, const CancelToken& cancel)
{
    FolderWalk walk = walkFolder(root, cancel);
    QDir().rename(root, root + QStringLiteral("-unmounted"));
    QDir().mkpath(root);
    return walk;
}

Task<> countThenRelease(CatalogExecutor* catalog, FakeInspector* inspector, std::optional<std::int64_t>* result)
{
    const GalleryScope everything;
    *result = co_await catalog->call(&MediaCatalog::galleryCount, everything);
    inspector->released = true;
}

TEST_F(Scan, SecondScanOfAnUnchangedFolderInspectsNothing)
{
    writeFiles(QStringLiteral("a"), 3);
    writeFiles(QStringLiteral("a/b"), 2);
    writeFile(QStringLiteral("lib/notes.txt"), "not media");

    const ScanRun first = scanLibrary();
    EXPECT_EQ(first.processed, 5);
    EXPECT_TRUE(first.outcome->changedRows);
    EXPECT_EQ(inspector_->inspected().size(), 5);
    EXPECT_EQ(rowCount(), 5);

    const ScanRun second = scanLibrary();
    EXPECT_EQ(second.processed, 5);
    EXPECT_FALSE(second.outcome->changedRows);
    EXPECT_EQ(second.progress, std::vector<int>{5});
    EXPECT_EQ(inspector_->inspected().size(), 5) << "the second scan opened files";
    EXPECT_EQ(rowCount(), 5);
    EXPECT_EQ(onCatalog([source = source_](MediaCatalog& c) { return c.indexedFolders(source); }),
              (QStringList{QStringLiteral("a"), QStringLiteral("a/b")}));
}

TEST_F(Scan, TouchedFileAloneIsInspectedAgainAndKeepsWhatTheUserSet)
{
    writeFiles(QStringLiteral("a"), 3);
    scanLibrary();
    const QString id = idOf(QStringLiteral("a/photo-0001.jpg"));
    onCatalog([id](MediaCatalog& c) {
        c.addToAlbum(c.createAlbum(QStringLiteral("Trip")), id);
        c.setFavorite(true, id);
        c.setRotation(1, id);
        c.setThumbnailKey(QString(64, u'a'), id);
        c.setLocations({LocationUpdate{id, 41.0, 29.0, std::nullopt}});
    });
    ASSERT_EQ(onCatalog([](MediaCatalog& c) { return c.mapPhotos({}).size(); }), 1u);
    touch(library_ + QStringLiteral("/a/photo-0001.jpg"), 60);

    EXPECT_EQ(scanLibrary().processed, 3);
    EXPECT_EQ(inspector_->inspected().size(), 4);
    EXPECT_EQ(inspector_->inspected().back(), library_ + QStringLiteral("/a/photo-0001.jpg"));
    const std::optional<MediaItem> touched = item(id);
    ASSERT_TRUE(touched);
    EXPECT_TRUE(touched->isFavorite());
    EXPECT_EQ(touched->rotationQuarters(), 1);
    EXPECT_FALSE(touched->thumbnailKey()) << "the old thumbnail shows the old content";
    EXPECT_TRUE(onCatalog([](MediaCatalog& c) { return c.mapPhotos({}).empty(); }));
    EXPECT_EQ(onCatalog([](MediaCatalog& c) { return c.albums().front().itemCount; }), 1);
}

TEST_F(Scan, RenamedRootMovesEveryRowWithoutInspection)
{
    writeFiles(QStringLiteral("a"), 120);
    scanLibrary();
    const QString id = idOf(QStringLiteral("a/photo-0007.jpg"));
    onCatalog([id](MediaCatalog& c) {
        c.addToAlbum(c.createAlbum(QStringLiteral("Trip")), id);
        c.setFavorite(true, id);
    });

    const QString renamed = pathOf(QStringLiteral("moved-lib"));
    ASSERT_TRUE(QDir().rename(library_, renamed));
    const ScanRun run = scanFolder(renamed);
    EXPECT_EQ(run.processed, 120);
    EXPECT_EQ(inspector_->inspected().size(), 120) << "moved files were inspected again";
    EXPECT_EQ(rowCount(), 120);
    EXPECT_FALSE(item(id));
    const std::optional<MediaItem> moved =
        item(MediaItem::makeID(source_, renamed + QStringLiteral("/a/photo-0007.jpg")));
    ASSERT_TRUE(moved);
    EXPECT_TRUE(moved->isFavorite());
    EXPECT_EQ(onCatalog([](MediaCatalog& c) { return c.albums().front().cover->id(); }), moved->id());
}

TEST_F(Scan, RootMovedToItsParentDoesNotHandRowsToOtherFiles)
{
    // lib/inner/x.jpg was indexed with lib/inner as root; lib/x.jpg is a
    // different file with the same relative path, date and size.
    writeFile(QStringLiteral("lib/inner/x.jpg"), "same bytes");
    writeFile(QStringLiteral("lib/x.jpg"), "same bytes");
    touch(library_ + QStringLiteral("/x.jpg"), 0);
    struct stat inner {};
    ASSERT_EQ(stat(QFile::encodeName(library_ + QStringLiteral("/inner/x.jpg")).constData(), &inner), 0);
    const struct timespec times[2] = {inner.st_atim, inner.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(library_ + QStringLiteral("/x.jpg")).constData(), times, 0), 0);

    scanFolder(library_ + QStringLiteral("/inner"));
    const QString innerID = idOf(QStringLiteral("inner/x.jpg"));
    onCatalog([innerID](MediaCatalog& c) { c.setFavorite(true, innerID); });

    EXPECT_EQ(scanLibrary().processed, 2);
    const std::optional<MediaItem> innerItem = item(innerID);
    const std::optional<MediaItem> outerItem = item(idOf(QStringLiteral("x.jpg")));
    ASSERT_TRUE(innerItem && outerItem);
    EXPECT_TRUE(innerItem->isFavorite());
    EXPECT_FALSE(outerItem->isFavorite());
    EXPECT_EQ(inspector_->inspected().size(), 2);
}

// The same folder reached through a link or spelled with "/." is the same
// files: their rows follow them with the user's marks, uninspected.
TEST_F(Scan, RootSpelledAnotherWayKeepsEveryMark)
{
    const QString alias = pathOf(QStringLiteral("alias"));
    ASSERT_EQ(symlink(QFile::encodeName(library_).constData(), QFile::encodeName(alias).constData()), 0);
    writeFiles(QStringLiteral("a"), 3);
    scanLibrary();
    QString id = idOf(QStringLiteral("a/photo-0001.jpg"));
    onCatalog([id](MediaCatalog& c) {
        c.addToAlbum(c.createAlbum(QStringLiteral("Trip")), id);
        c.setFavorite(true, id);
        c.setRotation(3, id);
    });

    for (const QString& spelling : QStringList{alias, library_ + QStringLiteral("/."), library_}) {
        SCOPED_TRACE(spelling.toStdString());
        EXPECT_EQ(scanFolder(spelling).processed, 3);
        EXPECT_EQ(inspector_->inspected().size(), 3) << "the same files were inspected as new";
        EXPECT_EQ(rowCount(), 3);
        id = MediaItem::makeID(source_, spelling + QStringLiteral("/a/photo-0001.jpg"));
        const std::optional<MediaItem> marked = item(id);
        ASSERT_TRUE(marked);
        EXPECT_TRUE(marked->isFavorite());
        EXPECT_EQ(marked->rotationQuarters(), 3);
        EXPECT_EQ(onCatalog([](MediaCatalog& c) { return c.albums().front().itemCount; }), 1);
    }
}

// Each scan deletes as stale what the other stamped: overlapping scans of
// one source must take turns, or both end with most rows gone.
TEST_F(Scan, OverlappingScansOfOneSourceKeepEveryRowAndMark)
{
    writeFiles(QStringLiteral("a"), 250);
    scanLibrary();
    const QString id = idOf(QStringLiteral("a/photo-0200.jpg"));
    onCatalog([id](MediaCatalog& c) { c.setFavorite(true, id); });
    writeFiles(QStringLiteral("b"), 150);

    QObject context;
    std::vector<ScanRun> runs(3);
    for (ScanRun& run : runs) {
        startTask(&context, awaitScan(&*catalog_, inspector_, source_, library_, &run, &walkFolder));
    }
    ASSERT_TRUE(drain());
    for (const ScanRun& run : runs) {
        EXPECT_EQ(run.processed, 400);
    }
    EXPECT_EQ(rowCount(), 400);
    EXPECT_TRUE(item(id)->isFavorite());
    EXPECT_EQ(inspector_->inspected().size(), 400) << "a scan that waited read stale fingerprints";
}

TEST_F(Scan, FileThatCouldNotBeReadIsInspectedAgainOnceReadable)
{
    writeFiles(QStringLiteral("a"), 2);
    inspector_->unreadable = [](const QString& path) { return path.endsWith(QStringLiteral("photo-0001.jpg")); };
    scanLibrary();
    EXPECT_EQ(rowCount(), 2) << "an unreadable file still shows";
    EXPECT_FALSE(item(idOf(QStringLiteral("a/photo-0001.jpg")))->metadataJSON());

    inspector_->unreadable = nullptr;
    scanLibrary();
    const QString unreadable = library_ + QStringLiteral("/a/photo-0001.jpg");
    EXPECT_EQ(inspector_->inspected().size(), 3);
    EXPECT_EQ(inspector_->inspected().back(), unreadable);
    EXPECT_EQ(item(idOf(QStringLiteral("a/photo-0001.jpg")))->metadataJSON(), QStringLiteral("{}"));
    scanLibrary();
    EXPECT_EQ(inspector_->inspected().size(), 3) << "a file that was read is not read again";
}

// The scan tokens of every row, by id, read beside the catalog's connection.
std::map<std::string, std::string> scanTokens(const QString& catalogPath)
{
    std::map<std::string, std::string> tokens;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(catalogPath).constData(), &db), SQLITE_OK);
    sqlite3_exec(
        db, "SELECT id, scan_token FROM media",
        [](void* into, int, char** values, char**) {
            (*static_cast<std::map<std::string, std::string>*>(into))[values[0]] = values[1];
            return 0;
        },
        &tokens, nullptr);
    sqlite3_close(db);
    return tokens;
}

// Unchanged files cost no write; the rows of files gone are deleted all the
// same, whether they were read (and known by their fingerprint) or not.
TEST_F(Scan, DeletedFilesLoseTheirRowsWhileUnchangedRowsAreNotWritten)
{
    writeFiles(QStringLiteral("a"), 4);
    inspector_->unreadable = [](const QString& path) { return path.endsWith(QStringLiteral("photo-0003.jpg")); };
    scanLibrary();
    inspector_->unreadable = nullptr;
    std::map<std::string, std::string> tokens = scanTokens(pathOf(QStringLiteral("Catalog.sqlite")));
    ASSERT_EQ(tokens.size(), 4);
    for (const char* gone : {"a/photo-0000.jpg", "a/photo-0003.jpg"}) {
        ASSERT_TRUE(QFile::remove(library_ + u'/' + QLatin1String(gone)));
        tokens.erase(idOf(QLatin1String(gone)).toStdString());
    }

    const ScanRun afterDeletion = scanLibrary();
    EXPECT_EQ(afterDeletion.processed, 2);
    EXPECT_TRUE(afterDeletion.outcome->changedRows);
    EXPECT_EQ(rowCount(), 2);
    EXPECT_FALSE(item(idOf(QStringLiteral("a/photo-0000.jpg"))));
    EXPECT_FALSE(item(idOf(QStringLiteral("a/photo-0003.jpg"))));
    EXPECT_EQ(scanTokens(pathOf(QStringLiteral("Catalog.sqlite"))), tokens) << "unchanged rows were written";
}

TEST_F(Scan, WritesAFirstBatchOfOneHundredDecisionsThenLargerOnes)
{
    writeFiles(QStringLiteral("a"), 99);
    EXPECT_EQ(scanLibrary().progress, std::vector<int>{99}) << "99 decisions flushed early";
    writeFiles(QStringLiteral("b"), 1);
    EXPECT_EQ(scanLibrary().progress, (std::vector<int>{100, 100}));
    writeFiles(QStringLiteral("c"), 150);
    const std::vector<int> progress = scanLibrary().progress;
    ASSERT_GE(progress.size(), 2U);
    EXPECT_EQ(progress.front(), 100);
    EXPECT_EQ(progress.back(), 250);
    EXPECT_LE(progress.size(), 3U);

    using std::chrono::milliseconds;
    const struct {
        std::size_t size;
        milliseconds took;
        std::size_t next;
    } rows[] = {
        {100, milliseconds(10), 200},
        {100, milliseconds(250), 200},
        {800, milliseconds(10), 1600},
        {largestScanBatch / 2 + 1, milliseconds(10), largestScanBatch},
        {largestScanBatch, milliseconds(0), largestScanBatch},
        {400, milliseconds(400), 400},
        {400, milliseconds(501), 200},
        {100, milliseconds(5000), 100},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(nextScanBatchSize(row.size, row.took), row.next) << row.size << " files in " << row.took.count();
    }
}

TEST_F(Scan, CancelAfterTheFirstBatchKeepsItAndDeletesNothing)
{
    writeFiles(QStringLiteral("old"), 5);
    scanLibrary();
    ASSERT_TRUE(QDir(library_ + QStringLiteral("/old")).removeRecursively());
    writeFiles(QStringLiteral("new"), 250);

    CancelSource cancel;
    ScanRun run;
    run.cancelSource = &cancel;
    run.cancelAtReport = 1;
    run = scanLibrary(std::move(run));
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.progress, std::vector<int>{100});
    EXPECT_EQ(rowCount(), 105) << "the first batch and the unseen rows stay, nothing after the cancel";
}

TEST_F(Scan, CancelledScanWritesNothing)
{
    writeFiles(QStringLiteral("a"), 3);
    CancelSource cancel;
    cancel.cancel();
    ScanRun run;
    run.cancelSource = &cancel;
    EXPECT_TRUE(scanLibrary(std::move(run)).cancelled);
    EXPECT_EQ(rowCount(), 0);
}

// A folder that cannot be opened, like the root-owned "lost+found" of every
// ext4 disk, keeps the rows inside it and no others.
TEST_F(Scan, UnopenableSubfolderKeepsItsRowsAndTheRestIsCleanedUp)
{
    writeFiles(QStringLiteral("open"), 2);
    writeFiles(QStringLiteral("locked"), 3);
    writeFiles(QStringLiteral("locked-not"), 1); // beside "locked", not inside it
    ASSERT_EQ(chmod(QFile::encodeName(root()).constData(), 0755), 0); // the temporary folder is private
    scanLibrary({}, &walkAsOrdinaryUser);
    ASSERT_EQ(rowCount(), 6);

    ASSERT_TRUE(QFile::remove(library_ + QStringLiteral("/open/photo-0000.jpg")));
    ASSERT_TRUE(QFile::remove(library_ + QStringLiteral("/locked-not/photo-0000.jpg")));
    const QByteArray locked = QFile::encodeName(library_ + QStringLiteral("/locked"));
    ASSERT_EQ(chmod(locked.constData(), 0), 0);
    const ScanRun run = scanLibrary({}, &walkAsOrdinaryUser);
    chmod(locked.constData(), 0755);
    EXPECT_EQ(run.processed, 1);
    EXPECT_EQ(rowCount(), 4) << "the three rows of the locked folder and the one file left";
    EXPECT_FALSE(item(idOf(QStringLiteral("open/photo-0000.jpg"))));
    ASSERT_TRUE(run.outcome);
    EXPECT_FALSE(run.outcome->complete);
    EXPECT_EQ(run.outcome->unopenedFolders, QStringList{QStringLiteral("locked")});
}

// Old disks name files in Latin-1 or a Windows code page. Such a name is
// indexed under its own bytes, apart from a name Qt would read the same, and
// a folder so named that cannot be opened keeps its rows like any other.
TEST_F(Scan, NamesThatAreNotUtf8AreIndexedByTheirBytes)
{
    const QList<QByteArray> files{"caf\xe9.jpg", "caf\xe8.jpg", "caf\xc3\xa9.jpg", "old\xe9/photo.jpg"};
    const QByteArray library = fileNameBytes(library_);
    const QByteArray locked = library + "/old\xe9";
    ASSERT_EQ(mkdir(locked.constData(), 0755), 0);
    for (qsizetype index = 0; index < files.size(); ++index) {
        const int fd = ::open(QByteArray(library + '/' + files[index]).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray content(index + 1, 'x'); // sizes apart, so none is taken for a copy of another
        ASSERT_EQ(::write(fd, content.constData(), std::size_t(content.size())), content.size());
        ::close(fd);
    }
    ASSERT_EQ(chmod(QFile::encodeName(root()).constData(), 0755), 0); // the temporary folder is private

    EXPECT_EQ(scanLibrary().processed, 4);
    EXPECT_EQ(rowCount(), 4);
    for (qsizetype index = 0; index < files.size(); ++index) {
        const QByteArray path = library + '/' + files[index];
        const std::optional<MediaItem> row = itemAt(fileNameText(path));
        ASSERT_TRUE(row) << path.constData();
        EXPECT_EQ(fileNameBytes(row->path()), path);
        EXPECT_EQ(row->fileSize(), index + 1);
    }
    EXPECT_EQ(onCatalog([source = source_](MediaCatalog& c) { return c.indexedFolders(source); }),
              QStringList{fileNameText("old\xe9")});

    ASSERT_EQ(chmod(locked.constData(), 0), 0);
    const ScanRun run = scanLibrary({}, &walkAsOrdinaryUser);
    chmod(locked.constData(), 0755);
    EXPECT_EQ(run.processed, 3);
    EXPECT_EQ(inspector_->inspected().size(), 4) << "a rescan opened files";
    EXPECT_EQ(rowCount(), 4) << "the row inside the folder that could not be opened was deleted";
    EXPECT_EQ(run.outcome->unopenedFolders, QStringList{fileNameText("old\xe9")});
}

// With the disk unplugged its mount point is an empty folder: the same at the
// start and the end of the walk, but not the folder the source was added as.
TEST_F(Scan, EmptyMountPointOfAnUnpluggedDiskDeletesNothing)
{
    writeFiles(QStringLiteral("a"), 3);
    ScanRun first;
    first.sourceIdentity = folderIdentity(library_);
    ASSERT_EQ(scanLibrary(std::move(first)).outcome->complete, true);

    ASSERT_TRUE(QDir().rename(library_, library_ + QStringLiteral("-unplugged")));
    ASSERT_TRUE(QDir().mkpath(library_));
    ScanRun unplugged;
    unplugged.sourceIdentity = folderIdentity(library_ + QStringLiteral("-unplugged"));
    const ScanRun run = scanLibrary(std::move(unplugged));
    EXPECT_EQ(run.processed, 0);
    EXPECT_EQ(rowCount(), 3);
    EXPECT_FALSE(run.outcome->complete);
}

// A folder known only by its place (on a share that numbers its files anew)
// is taken for the source's only when it holds one of its files as it was:
// emptied, or holding other files of the same names, it has nothing written
// or deleted; with one of them left the usual rules hold.
TEST_F(Scan, AFolderKnownByItsPlaceMustHoldOneOfItsFilesBeforeAnythingIsWrittenOrDeleted)
{
    const struct {
        const char* name;
        std::function<void()> change;
        bool strange;
        std::int64_t rows;
    } rows[] = {
        {"emptied", [&] { ASSERT_TRUE(QDir(library_ + QStringLiteral("/a")).removeRecursively()); }, true, 3},
        {"other files of its names",
         [&] {
             for (int index = 0; index < 3; ++index) {
                 writeFile(QStringLiteral("lib/a/photo-%1.jpg").arg(index, 4, 10, QChar(u'0')),
                           "another camera's picture");
             }
         },
         true, 3},
        {"one of its files left, one new",
         [&] {
             ASSERT_TRUE(QFile::remove(library_ + QStringLiteral("/a/photo-0000.jpg")));
             ASSERT_TRUE(QFile::remove(library_ + QStringLiteral("/a/photo-0002.jpg")));
             writeFile(QStringLiteral("lib/b/new.jpg"), "new");
         },
         false, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(QDir(library_).removeRecursively() && QDir().mkpath(library_));
        writeFiles(QStringLiteral("a"), 3);
        scanLibrary();
        ASSERT_EQ(rowCount(), 3);
        row.change();
        const std::size_t inspected = inspector_->inspected().size();
        ScanRun run;
        run.knownByPlace = true;
        run = scanLibrary(std::move(run));
        ASSERT_TRUE(run.outcome);
        EXPECT_EQ(run.outcome->strangeFolder, row.strange);
        EXPECT_EQ(rowCount(), row.rows);
        EXPECT_EQ(inspector_->inspected().size() - inspected, row.strange ? 0U : 1U);
    }
    // A source with no rows yet has nothing to find.
    ASSERT_TRUE(QDir(library_).removeRecursively() && QDir().mkpath(library_));
    source_ = QUuid::createUuid();
    writeFiles(QStringLiteral("a"), 2);
    ScanRun first;
    first.knownByPlace = true;
    EXPECT_FALSE(scanLibrary(std::move(first)).outcome->strangeFolder);
    EXPECT_EQ(rowCount(), 4); // its two beside the earlier source's two
}

// A folder made anew where the source's was may be given its freed inode
// number, but not its birth time: only the recorded folder itself, as far as
// the birth times known tell, has rows deleted.
TEST_F(Scan, RowsAreDeletedOnlyBelowTheRecordedFolder)
{
    const std::optional<FolderIdentity> recorded = folderIdentity(library_);
    ASSERT_TRUE(recorded);
    if (!recorded->birth) {
        GTEST_SKIP() << "the temporary folder's filesystem keeps no birth times";
    }
    const struct {
        const char* name;
        FolderIdentity identity;
        std::int64_t rowsLeft;
    } rows[] = {
        {"the recorded folder", *recorded, 2},
        {"its birth time not recorded", {recorded->device, recorded->inode, std::nullopt}, 2},
        {"the same inode born at another time", {recorded->device, recorded->inode, *recorded->birth + 1}, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        writeFiles(QStringLiteral("a"), 3);
        scanLibrary();
        ASSERT_EQ(rowCount(), 3);
        ASSERT_TRUE(QFile::remove(library_ + QStringLiteral("/a/photo-0000.jpg")));
        ScanRun run;
        run.sourceIdentity = row.identity;
        EXPECT_EQ(scanLibrary(std::move(run)).outcome->complete, row.rowsLeft == 2);
        EXPECT_EQ(rowCount(), row.rowsLeft);
    }
}

TEST_F(Scan, RootThatIsAnotherFolderByTheEndKeepsRows)
{
    writeFiles(QStringLiteral("a"), 3);
    scanLibrary();
    ASSERT_TRUE(QFile::remove(library_ + QStringLiteral("/a/photo-0000.jpg")));

    const ScanRun run = scanLibrary({}, &walkThenReplaceRoot);
    EXPECT_EQ(run.processed, 2);
    EXPECT_EQ(rowCount(), 3) << "rows were deleted although the root changed under the scan";
}

TEST_F(Scan, GalleryReadsRunBetweenBatches)
{
    writeFiles(QStringLiteral("a"), 100);
    writeFiles(QStringLiteral("b"), 50);
    // The second batch's inspections wait until a gallery count, started
    // once the first batch is written, has come back: if the scan held the
    // catalog meanwhile, the count could never run.
    inspector_->gate = [](const QString& path) { return path.contains(QStringLiteral("/b/")); };
    std::optional<std::int64_t> countDuringScan;
    QObject context;
    ScanRun run;
    run.onProgress = [&](ScanRun& reported) {
        if (reported.progress.size() == 1) {
            startTask(&context, countThenRelease(&*catalog_, inspector_.get(), &countDuringScan));
        }
    };
    run = scanLibrary(std::move(run));
    EXPECT_EQ(run.processed, 150);
    EXPECT_EQ(countDuringScan, 100);
}

// Rows an older version wrote, without a relative path or a Live Photo look-up.
TEST_F(Scan, UnchangedRowLearnsItsRelativePathAndLiveIdentifierWithoutInspection)
{
    writeFile(QStringLiteral("lib/live-1.jpg"), "still");
    scanLibrary();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(pathOf(QStringLiteral("Catalog.sqlite"))).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE media SET live_checked=0, live_identifier=NULL, relative_path=NULL", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);

    scanLibrary();
    EXPECT_EQ(inspector_->inspected().size(), 1);
    EXPECT_EQ(inspector_->liveLookups(), 1);
    EXPECT_EQ(item(idOf(QStringLiteral("live-1.jpg")))->liveIdentifier(), QStringLiteral("LIVE"));
    sqlite3_stmt* relative = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT relative_path FROM media", -1, &relative, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(relative), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(relative, 0)), "live-1.jpg");
    sqlite3_finalize(relative);
    sqlite3_close(db);
    scanLibrary();
    EXPECT_EQ(inspector_->liveLookups(), 1);
}

TEST_F(Scan, MissingRootChangesNothing)
{
    writeFiles(QStringLiteral("a"), 2);
    scanLibrary();
    EXPECT_EQ(scanFolder(pathOf(QStringLiteral("nowhere"))).processed, 0);
    EXPECT_EQ(rowCount(), 2);
}

} // namespace
} // namespace pivra::test
