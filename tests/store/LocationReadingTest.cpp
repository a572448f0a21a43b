#include "catalog/model/CellKey.h"
#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "media/metadata/MediaMetadata.h"
#include "platform/runtime/Drain.h"
#include "store/places/PlaceNamer.h"
#include "support/files/JpegMaker.h"
#include "support/files/VideoMaker.h"

#include "StoreTestKit.h"

#include <QFile>
#include <QTimer>

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

namespace pivra {
namespace {

using test::folderSource;

// Answers every lookup in a later turn with a town, and remembers the cells
// it was asked about; `onLookup` runs first, when set.
struct RecordingGeocoder : ReverseGeocoder {
    RecordingGeocoder(QStringList* log, std::function<void()>* hook) : asked(log), onLookup(hook) {}
    void reverseGeocode(double latitude, double longitude, QObject* context, Completion done) override
    {
        if (*onLookup) {
            (*onLookup)();
        }
        asked->append(cellKey(latitude, longitude));
        QTimer::singleShot(0, context, [done = std::move(done)] {
            done({.placemarks = {{.locality = QStringLiteral("Town"), .country = QStringLiteral("Land")}}});
        });
    }
    std::chrono::milliseconds pauseBetweenLookups() const override { return {}; }
    QStringList* asked;
    std::function<void()>* onLookup;
};

enum class Stored { nothing, emptyJSON, fileJSON };

struct Fixture {
    const char* name;
    bool video;
    std::optional<GeoLocation> tag;
    Stored stored;
    bool fileKept;
};

// The rows the tests read: where a location comes from, and when a row is
// left for a later run.
const Fixture fixtures[] = {
    {"read from the file.jpg", false, GeoLocation{41.0082, 28.9784}, Stored::emptyJSON, true},
    {"indexed without metadata.jpg", false, GeoLocation{-33.8688, 151.2093}, Stored::nothing, true},
    {"stored, file gone.jpg", false, GeoLocation{35.6762, 139.6503}, Stored::fileJSON, false},
    {"untagged.jpg", false, std::nullopt, Stored::emptyJSON, true},
    {"missing.jpg", false, GeoLocation{48.8584, 2.2945}, Stored::emptyJSON, false},
    {"tagged.mov", true, GeoLocation{40.6892, -74.0445}, Stored::fileJSON, true},
    {"untagged.mp4", true, std::nullopt, Stored::fileJSON, true},
};

class LocationReadingTest : public test::StoreTest {
protected:
    // The namer keeps its places in a file of the test's folder.
    void SetUp() override
    {
        StoreTest::SetUp();
        namer.emplace(std::make_unique<RecordingGeocoder>(&asked, &onLookup),
                      [](std::chrono::milliseconds, QObject* context, std::function<void()> then) {
                          QTimer::singleShot(0, context, std::move(then));
                      },
                      nullptr, pathOf(QStringLiteral("PlaceNames.json")));
    }
    void TearDown() override
    {
        namer.reset();
        StoreTest::TearDown();
    }

    // One row per fixture in a new folder source, its file written and, where
    // the fixture says, stored metadata read from it and the file removed.
    LibrarySource writeFixtures()
    {
        const LibrarySource source = folderSource(QStringLiteral("Trip"), true);
        const MediaCatalog schema(catalogPath_);
        test::MediaRowWriter writer(catalogPath_);
        for (const Fixture& fixture : fixtures) {
            const QString path = pathOf(QString::fromLatin1(fixture.name));
            writeFile(fixture, path);
            test::MediaRow row = test::folderRow(source.id, QString::fromLatin1(fixture.name),
                                                 fixture.video ? QStringLiteral("video") : QStringLiteral("image"));
            row.path = path;
            row.captured += ++rows_;
            row.fileSize += rows_;
            row.metadataJSON = fixture.stored == Stored::nothing     ? std::nullopt
                               : fixture.stored == Stored::emptyJSON ? std::optional(QStringLiteral("{}"))
                               : fixture.video ? MediaMetadata::inspect(path, source.id, {}, MediaKind::video).metadataJSON()
                                               : MediaMetadata::imageMetadataJSON(path);
            writer.insert(row);
            if (!fixture.fileKept) {
                QFile::remove(path);
            }
        }
        return source;
    }

    static void writeFile(const Fixture& fixture, const QString& path)
    {
        if (fixture.video) {
            test::VideoFields fields{.size = QSize(64, 48), .make = QStringLiteral("Apple")};
            if (fixture.tag) {
                fields.location = QString::asprintf("%+08.4f%+09.4f/", fixture.tag->latitude, fixture.tag->longitude);
            }
            EXPECT_TRUE(test::makeVideo(path, fields));
            return;
        }
        test::ExifFields exif{.make = QStringLiteral("Canon"), .model = QStringLiteral("EOS R6")};
        if (fixture.tag) {
            exif.latitude = fixture.tag->latitude;
            exif.longitude = fixture.tag->longitude;
        }
        EXPECT_TRUE(test::makeJpeg(path, QSize(64, 48), exif));
    }

    struct RowState {
        bool checked;
        std::optional<double> latitude;
        std::optional<double> longitude;
        std::optional<QString> metadataJSON;
    };

    // Read past the store, whose catalog holds the file's lock.
    RowState rowState(const QString& name) const
    {
        test::MediaRowWriter writer(catalogPath_);
        sqlite::Statement statement(writer.db(),
                                    "SELECT location_checked, latitude, longitude, metadata_json FROM media WHERE name=?");
        statement.bindText(1, name);
        EXPECT_TRUE(statement.nextRowChecked());
        return {statement.int32(0) == 1, statement.optionalReal(1), statement.optionalReal(2), statement.text(3)};
    }

    std::unique_ptr<LibraryStore> openStore(const LibrarySource& source)
    {
        auto store = makeStore({.placeNamer = &*namer});
        EXPECT_TRUE(drain());
        store->setSources({source});
        EXPECT_TRUE(drain());
        return store;
    }

    QStringList asked;
    std::function<void()> onLookup;
    std::optional<PlaceNamer> namer;

private:
    int rows_ = 0;
};

TEST_F(LocationReadingTest, LocationsComeFromStoredMetadataOrTheFile)
{
    auto store = openStore(writeFixtures());
    int mapPublications = 0;
    QObject::connect(store.get(), &LibraryStore::mapPhotosChanged, store.get(), [&] { ++mapPublications; });

    store->selectMap();
    ASSERT_TRUE(drain());
    // The namer spaces its lookups on timers, which drain() does not wait for.
    const auto locatedCount = std::count_if(std::begin(fixtures), std::end(fixtures), [](const Fixture& fixture) {
        return (fixture.fileKept || fixture.stored == Stored::fileJSON) && fixture.tag;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return namer->places().size() >= locatedCount; }));
    ASSERT_TRUE(drain());

    QStringList located;
    for (const Fixture& fixture : fixtures) {
        const QString name = QString::fromLatin1(fixture.name);
        SCOPED_TRACE(fixture.name);
        const RowState row = rowState(name);
        const bool readable = fixture.fileKept || fixture.stored == Stored::fileJSON;
        EXPECT_EQ(row.checked, readable);
        if (readable && fixture.tag) {
            located.append(cellKey(fixture.tag->latitude, fixture.tag->longitude));
            ASSERT_TRUE(row.latitude && row.longitude);
            EXPECT_NEAR(*row.latitude, fixture.tag->latitude, 1e-4);
            EXPECT_NEAR(*row.longitude, fixture.tag->longitude, 1e-4);
        } else {
            EXPECT_FALSE(row.latitude || row.longitude);
        }
        // Images indexed without metadata have it now.
        if (!fixture.video && fixture.fileKept) {
            EXPECT_EQ(row.metadataJSON, MediaMetadata::imageMetadataJSON(pathOf(name)));
        }
    }
    located.sort();
    asked.sort();
    EXPECT_EQ(asked, located);
    EXPECT_EQ(namer->places().size(), located.size());
    EXPECT_EQ(store->mapPhotos().size(), located.size());
    EXPECT_EQ(mapPublications, 2); // the map's own reload, then one after reading
    EXPECT_FALSE(store->isReadingLocations());
    ASSERT_EQ(store->processes().finished().size(), 1);
    const PivraProcess& run = store->processes().finished().front();
    EXPECT_EQ(run.kind, PivraProcess::Kind::locations);
    EXPECT_EQ(run.state, PivraProcess::State::finished);
    EXPECT_EQ(run.completed, 6);
    EXPECT_EQ(run.detail, u"4 with a location");

    // The missing file is back: only its row is read again.
    writeFile(fixtures[4], pathOf(QString::fromLatin1(fixtures[4].name)));
    store->startLocationReading();
    ASSERT_TRUE(drain());
    EXPECT_TRUE(rowState(QString::fromLatin1(fixtures[4].name)).latitude);
    ASSERT_EQ(store->processes().finished().size(), 2);
    EXPECT_EQ(store->processes().finished().front().completed, 1);
    EXPECT_EQ(store->processes().finished().front().detail, u"1 with a location");
    EXPECT_EQ(mapPublications, 3);
}

// A stop and a new start while the first run asks for its place names, then
// one more start once the first run has ended: the stopped run's end must
// leave the new run's handle, record and flag alone, so the last start finds
// the new run under way.
TEST_F(LocationReadingTest, AStoppedRunLeavesTheNewRunAlone)
{
    auto store = openStore(writeFixtures());
    qsizetype mostRunning = 0;
    QObject::connect(&store->processes(), &ProcessMonitor::runningChanged, store.get(),
                     [&] { mostRunning = std::max(mostRunning, store->processes().running().size()); });
    onLookup = [&] {
        onLookup = {};
        store->cancelLocationReading();
        EXPECT_FALSE(store->isReadingLocations());
        store->startLocationReading();
        QTimer::singleShot(0, store.get(), [&] { store->startLocationReading(); });
    };

    store->startLocationReading();
    ASSERT_TRUE(drain());

    EXPECT_EQ(mostRunning, 1);
    EXPECT_TRUE(store->processes().running().isEmpty());
    EXPECT_FALSE(store->isReadingLocations());
    // The new run finds only the row whose file is missing, and leaves it.
    const QList<PivraProcess>& ended = store->processes().finished();
    ASSERT_EQ(ended.size(), 2);
    EXPECT_EQ(ended.front().state, PivraProcess::State::finished);
    EXPECT_EQ(ended.front().detail, u"0 with a location");
    EXPECT_EQ(ended.back().state, PivraProcess::State::stopped);
}

} // namespace
} // namespace pivra
