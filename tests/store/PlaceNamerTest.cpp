#include "store/places/PlaceNamer.h"

#include "catalog/model/CellKey.h"
#include "platform/AppSettings.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <deque>

namespace pivra {
namespace {

using namespace std::chrono_literals;

// Where earlier versions kept the places.
const QString legacyKey = QStringLiteral("pivra.placeNames.v1");
const QString cacheName = QStringLiteral("Pivra/PlaceNames.json");

// A geocoder that answers only when the test says, and remembers what it was asked.
struct FakeGeocoder : ReverseGeocoder {
    struct Lookup {
        double latitude;
        double longitude;
        Completion done;
    };
    std::deque<Lookup>* lookups;
    QString version;
    std::chrono::milliseconds pause = 250ms;

    FakeGeocoder(std::deque<Lookup>* log, QString dataVersion) : lookups(log), version(std::move(dataVersion)) {}
    void reverseGeocode(double latitude, double longitude, QObject*, Completion done) override
    {
        lookups->push_back({latitude, longitude, std::move(done)});
    }
    std::chrono::milliseconds pauseBetweenLookups() const override { return pause; }
    QString dataVersion() const override { return version; }
};

Placemark city(const QString& locality, const QString& region, const QString& country)
{
    return {.locality = locality, .administrativeArea = region, .country = country};
}

// A namer over the fake geocoder and a pause the test ends by hand.
class PlaceNamerTest : public test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        settings_.emplace(root());
    }

    PlaceNamer& namer()
    {
        if (!namer_) {
            namer_ = std::make_unique<PlaceNamer>(
                std::make_unique<FakeGeocoder>(&lookups_, dataVersion_),
                [this](std::chrono::milliseconds pause, QObject*, std::function<void()> then) {
                    pauses_.push_back(pause);
                    endPause_ = std::move(then);
                },
                nullptr, cacheFile());
        }
        return *namer_;
    }

    // Answers the lookup in flight, then ends the pause after it.
    void answer(GeocodeResult result)
    {
        ASSERT_FALSE(lookups_.empty());
        Completion done = std::move(lookups_.front().done);
        lookups_.pop_front();
        done(std::move(result));
        ASSERT_TRUE(endPause_);
        std::exchange(endPause_, {})();
    }

    // In a folder the first write makes.
    QString cacheFile() const { return pathOf(cacheName); }
    void writeCache(const QByteArray& bytes) const { writeFile(cacheName, bytes); }
    QByteArray readCache() const
    {
        QFile file(cacheFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The cell keys of the lookups asked for so far, in order.
    QStringList asked() const
    {
        QStringList keys;
        for (const auto& lookup : lookups_) {
            keys << cellKey(lookup.latitude, lookup.longitude);
        }
        return keys;
    }

    using Completion = ReverseGeocoder::Completion;
    QString dataVersion_; // the geocoder's, for namers made from now on
    std::optional<test::SettingsSandbox> settings_;
    std::deque<FakeGeocoder::Lookup> lookups_;
    std::vector<std::chrono::milliseconds> pauses_;
    std::function<void()> endPause_;
    std::unique_ptr<PlaceNamer> namer_;
};

TEST(PlaceNamerKeyTest, CellKeysRoundLikeTheCatalog)
{
    EXPECT_EQ(cellKey(41.0082, 28.9784), QStringLiteral("41.01,28.98"));
    EXPECT_EQ(cellKey(-33.8688, 151.2093), QStringLiteral("-33.87,151.21"));
    EXPECT_EQ(cellKey(-0.001, 0.001), QStringLiteral("-0.00,0.00"));
}

TEST_F(PlaceNamerTest, OneCellIsAskedOnceAndNamesEveryPointInIt)
{
    namer().request(41.0082, 28.9784);
    namer().request(41.0121, 28.9801); // same cell, while in flight
    ASSERT_EQ(lookups_.size(), 1u);
    EXPECT_EQ(lookups_.front().latitude, 41.0082) << "the raw coordinates are looked up";

    QSignalSpy changed(&namer(), &PlaceNamer::placesChanged);
    answer({{city("Fatih", "Istanbul", "Türkiye")}, {}});
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(namer().place(41.0121, 28.9801)->name, QStringLiteral("Fatih"));
    namer().request(41.0121, 28.9801); // named: not asked again
    EXPECT_TRUE(lookups_.empty());
    EXPECT_EQ(pauses_, std::vector{250ms}) << "the backend's pause";
}

TEST_F(PlaceNamerTest, NewestRequestRunsFirstAndNetworkFailuresWaitAtTheBack)
{
    namer().request(1, 1); // in flight
    namer().request(2, 2);
    namer().request(3, 3);
    namer().request(4, 4);

    answer({{}, GeocodeFailure::network}); // 1,1 goes to the front of the queue
    EXPECT_EQ(pauses_.back(), PlaceNamer::networkBackOff);
    EXPECT_FALSE(namer().place(1, 1));
    namer().request(1, 1); // still queued: ignored
    QStringList order = asked();
    for (int i = 0; i < 4; ++i) {
        answer({{city(QStringLiteral("P"), {}, QStringLiteral("C"))}, {}});
        order << asked();
    }
    EXPECT_EQ(order, (QStringList{"4.00,4.00", "3.00,3.00", "2.00,2.00", "1.00,1.00"}));
    EXPECT_TRUE(lookups_.empty());
}

TEST_F(PlaceNamerTest, OtherFailuresDropTheCellUntilAskedAgain)
{
    namer().request(5, 5);
    answer({{}, GeocodeFailure::other});
    EXPECT_TRUE(lookups_.empty());
    EXPECT_EQ(pauses_, std::vector{250ms});
    namer().request(5, 5);
    EXPECT_EQ(asked(), QStringList{"5.00,5.00"});
}

TEST_F(PlaceNamerTest, RequestsDuringThePauseWaitForIt)
{
    namer().request(1, 1);
    Completion done = std::move(lookups_.front().done);
    lookups_.pop_front();
    done({{city(QStringLiteral("A"), {}, QStringLiteral("C"))}, {}});
    namer().request(2, 2);
    EXPECT_TRUE(lookups_.empty()) << "nothing starts before the pause ends";
    std::exchange(endPause_, {})();
    EXPECT_EQ(asked(), QStringList{"2.00,2.00"});
}

// Named from earlier data, or before names carried their data, a place shows
// its old name until the new one comes, which then sticks across a restart.
TEST_F(PlaceNamerTest, CachedPlacesWithoutCountryRealNameOrPresentDataAreAskedAgain)
{
    dataVersion_ = QStringLiteral("2");
    const QHash<QString, Place> cached{
        {"7.00,7.00", {"Atlantic Ocean", {}, {}, {}, "2"}},
        {"8.00,8.00", {"41.01, 28.98", {}, "Türkiye", {}, "2"}},
        {"9.00,9.00", {"Fatih", "Istanbul", "Türkiye", {}, "2"}},
        {"10.00,10.00", {"Pigna", "Lazio", "Italy", {}, "1"}},
        {"11.00,11.00", {"Pigna", "Lazio", "Italy", {}}},
    };
    writeCache(encodePlaces(cached));
    for (const double cell : {7.0, 8.0, 9.0, 10.0, 11.0}) {
        namer().request(cell, cell);
    }
    EXPECT_EQ(namer().place(10, 10)->name, QStringLiteral("Pigna"));
    QStringList order = asked();
    for (int i = 0; i < 4; ++i) {
        answer({{{.locality = "Rome", .administrativeArea = "Lazio", .country = "Italy", .subLocality = "Pigna"}}, {}});
        order << asked();
    }
    EXPECT_EQ(order, (QStringList{"7.00,7.00", "11.00,11.00", "10.00,10.00", "8.00,8.00"}));
    const Place rome{"Rome", "Lazio", "Italy", "Pigna", "2"};
    EXPECT_EQ(namer().place(10, 10), rome);
    namer_.reset();
    EXPECT_EQ(decodePlaces(readCache())->value("11.00,11.00"), rome);
    namer().request(10, 10);
    namer().request(11, 11);
    EXPECT_TRUE(lookups_.empty());
}

TEST(PlaceNamingTest, NameRegionCountryAndAreaFromPlacemark)
{
    const QString tr = QStringLiteral("Türkiye");
    struct Row {
        const char* what;
        Placemark placemark;
        Place expected;
    };
    const Row rows[] = {
        // The county or district around a place holds it: it is no area of it.
        {"city in its county",
         {.locality = "Seattle", .subAdministrativeArea = "King County", .administrativeArea = "Washington",
          .country = "United States"},
         {"Seattle", "Washington", "United States", {}}},
        {"coordinate district skipped, region becomes the country",
         {.subAdministrativeArea = QStringLiteral(u"36°59′N"), .administrativeArea = "Adana", .country = tr},
         {"Adana", tr, tr, {}}},
        {"no region: the country", {.locality = "Vaduz", .country = "Liechtenstein"},
         {"Vaduz", "Liechtenstein", "Liechtenstein", {}}},
        {"sub-locality is the area",
         {.locality = "Paris", .administrativeArea = "Île-de-France", .country = "France", .subLocality = "Louvre"},
         {"Paris", "Île-de-France", "France", "Louvre"}},
        {"ocean only", {.ocean = "Atlantic Ocean"}, {"Atlantic Ocean", {}, {}, {}}},
        {"nothing usable", {.locality = "12.5", .name = QStringLiteral(u"½ ⅓")}, {QStringLiteral(u"—"), {}, {}, {}}},
        {"empty", {}, {QStringLiteral(u"—"), {}, {}, {}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(placeFromPlacemark(row.placemark), row.expected);
    }
    EXPECT_TRUE(isCoordinateLike(QStringLiteral(u"41°00′29″N 28°58′42″E")));
    EXPECT_TRUE(isCoordinateLike(QStringLiteral(u"٤١.٠١"))) << "digits of any script";
    EXPECT_FALSE(isCoordinateLike(QString()));
    EXPECT_FALSE(isCoordinateLike(QStringLiteral("N1 Road")));
}

TEST_F(PlaceNamerTest, PlacesSurviveARestartAndASaveIsThrottled)
{
    const Place fatih{"Fatih", "Istanbul", QStringLiteral("Türkiye"), {}};
    namer().request(41.0082, 28.9784);
    answer({{city("Fatih", "Istanbul", QStringLiteral("Türkiye"))}, {}});
    EXPECT_FALSE(QFile::exists(cacheFile())) << "written later, not at once";
    namer_.reset(); // going writes
    const QByteArray stored = readCache();
    EXPECT_FALSE(stored.contains("area")) << "absent fields are not written";
    EXPECT_EQ(namer().place(41.0082, 28.9784), fatih);
    EXPECT_EQ(decodePlaces(stored)->size(), 1);
}

TEST_F(PlaceNamerTest, UnreadableCacheStartsEmptyAndStaysUntilTheNextSave)
{
    for (const QByteArray& bad : {QByteArray("not json"), QByteArray("[1]"), QByteArray(R"({"1.00,1.00":{}})"),
                                  QByteArray(R"({"1.00,1.00":{"name":"A","region":3}})")}) {
        SCOPED_TRACE(bad.constData());
        writeCache(bad);
        namer_.reset();
        EXPECT_TRUE(namer().places().isEmpty());
        namer_.reset();
        EXPECT_EQ(readCache(), bad);
    }
    // A folder in the file's place cannot be read or written over.
    QFile::remove(cacheFile());
    makeFolder(cacheName);
    namer_.reset();
    namer().request(1, 1);
    answer({{city("A", {}, "C")}, {}});
    namer_.reset();
    EXPECT_TRUE(namer().places().isEmpty());
}

TEST_F(PlaceNamerTest, PlacesInTheSettingsMoveIntoTheFileOnce)
{
    const QHash<QString, Place> places{{"9.00,9.00", {"Fatih", "Istanbul", "Türkiye", {}}}};
    const QByteArray stored = encodePlaces(places);
    AppSettings().setValue(legacyKey, stored);
    EXPECT_EQ(namer().places(), places);
    namer_.reset();
    EXPECT_FALSE(AppSettings().contains(legacyKey));
    EXPECT_EQ(readCache(), stored);

    // Once the file holds places, the key is only dropped, whatever it holds.
    for (const QByteArray& later : {encodePlaces({{"1.00,1.00", {"A", {}, {}, {}}}}), QByteArray("not json")}) {
        AppSettings().setValue(legacyKey, later);
        EXPECT_EQ(namer().places(), places);
        namer_.reset();
        EXPECT_FALSE(AppSettings().contains(legacyKey));
        EXPECT_EQ(readCache(), stored);
    }
}

TEST_F(PlaceNamerTest, CellsMatchWholeFoldedNamesInEnglishAndTurkish)
{
    EXPECT_EQ(namer().cells(QStringLiteral("istanbul")), std::nullopt) << "empty cache";
    const QHash<QString, Place> places{
        {"41.01,28.98", {"Sultanahmet", "Istanbul", "Türkiye", "Fatih"}},
        {"40.99,29.03", {"Kadıköy", "Istanbul", "Türkiye", {}}},
        {"39.93,32.86", {"Ankara", "Ankara", "Türkiye", {}}},
        {"47.37,8.54", {"Zürich", "Zurich", "Switzerland", {}}},
        {"46.20,-1.37", {"Saint-Martin-de-Ré", "New Aquitaine", "France", {}}},
    };
    writeCache(encodePlaces(places));
    namer_.reset();
    const QStringList istanbul{"40.99,29.03", "41.01,28.98"};
    struct Row {
        QString query;
        std::optional<QStringList> expected;
    };
    const Row rows[] = {
        {QStringLiteral(u"İSTANBUL"), istanbul},
        {"istanbul", istanbul},
        {QStringLiteral(u"ıstanbul"), istanbul},
        {"zurich", QStringList{"47.37,8.54"}},
        {QStringLiteral(u"Zürich"), QStringList{"47.37,8.54"}},
        {"kadikoy", QStringList{"40.99,29.03"}},
        {"fatih", QStringList{"41.01,28.98"}},
        {QStringLiteral(u"türkiye"), QStringList{"39.93,32.86", "40.99,29.03", "41.01,28.98"}},
        // Hyphens and spaces are one, either way round.
        {QStringLiteral(u"Saint Martin de Ré"), QStringList{"46.20,-1.37"}},
        {QStringLiteral(u"saint-martin-de-re"), QStringList{"46.20,-1.37"}},
        {"new-aquitaine", QStringList{"46.20,-1.37"}},
        {"-", std::nullopt},
        {"ist", std::nullopt},
        {"a", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query.toStdString());
        EXPECT_EQ(namer().cells(row.query), row.expected);
    }
    // A new place is found by the next search.
    namer().request(41.02, 28.94);
    answer({{city("Eyüp", "Istanbul", "Türkiye")}, {}});
    EXPECT_EQ(namer().cells("istanbul")->size(), 3);
}

} // namespace
} // namespace pivra
