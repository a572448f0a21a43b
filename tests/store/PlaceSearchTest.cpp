// Searching by place as a user does: photos whose camera and GPS exiv2 wrote, in a
// folder source, indexed, their places named by the offline geocoder over the
// build's data, then found by the names people know them by.
#include "StoreTestKit.h"

#include "catalog/model/CellKey.h"
#include "media/metadata/MetadataInspector.h"
#include "platform/geocoder/OfflineReverseGeocoder.h"
#include "platform/runtime/Drain.h"
#include "store/places/PlaceNamer.h"
#include "support/files/JpegMaker.h"

#include <QTest>
#include <gtest/gtest.h>

namespace pivra {
namespace {

using PlaceSearchTest = test::StoreTest;

TEST_F(PlaceSearchTest, PhotosAreFoundByTheirCityAndQuarterOnceAnOldNameIsRenamed)
{
    struct Shot {
        const char* file;
        double latitude;
        double longitude;
    };
    const Shot pigna{"pigna.jpg", 41.89635, 12.48463};
    const Shot seattle{"seattle.jpg", 47.6062, -122.3321};
    const Shot copacabana{"copacabana.jpg", -22.9711, -43.1822};
    const Shot shots[] = {pigna,      seattle, {"louvre.jpg", 48.8606, 2.3376}, {"formello.jpg", 42.0794, 12.3999},
                          copacabana, {"re.jpg", 46.2031, -1.36746}};
    const QString folder = makeFolder(QStringLiteral("Trip"));
    for (const Shot& shot : shots) {
        ASSERT_TRUE(test::makeJpeg(folder + u'/' + QString::fromLatin1(shot.file), QSize(32, 24),
                                   {.make = QStringLiteral("Apple"), .model = QStringLiteral("iPhone 15"),
                                    .latitude = shot.latitude, .longitude = shot.longitude}));
    }
    // An earlier build named the cell after its quarter, from data without
    // populations and without a version.
    const QString cache = writeFile(QStringLiteral("PlaceNames.json"),
                                    encodePlaces({{cellKey(pigna.latitude, pigna.longitude),
                                                   {"Pigna", "Lazio", "Italy", {}}}}));
    PlaceNamer namer(std::make_unique<OfflineReverseGeocoder>(PlaceLanguage::english), {}, nullptr, cache);
    storeSources(encodeSources({test::folderSourceAt(folder)}));
    LibraryServices services;
    services.places = [&namer](const QString& text) { return namer.cells(text); };
    services.placeNamer = &namer;
    services.inspector = std::make_shared<MetadataInspector>();
    auto store = makeStore(std::move(services));
    ASSERT_TRUE(drain());
    // The namer spaces its lookups on timers, which drain() does not wait for.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const std::optional<Place> place = namer.place(pigna.latitude, pigna.longitude);
        return namer.places().size() == qsizetype(std::size(shots)) && place && place->name == u"Rome";
    }, 60000));
    // A quarter inside the city is its area; the county around a city is not.
    EXPECT_EQ(namer.place(copacabana.latitude, copacabana.longitude)->area, QStringLiteral("Copacabana"));
    const std::optional<Place> downtown = namer.place(seattle.latitude, seattle.longitude);
    EXPECT_EQ(downtown->name, QStringLiteral("Seattle"));
    EXPECT_EQ(downtown->area, std::nullopt);

    const auto found = [&](const QString& text) {
        store->setSearch(text);
        startTask(store.get(), store->reload());
        EXPECT_TRUE(drain());
        QStringList names;
        for (const MediaItem& item : *store->items()) {
            names << item.name();
        }
        names.sort();
        return names;
    };
    const std::pair<QString, QStringList> rows[] = {
        {"Rome", {"pigna.jpg"}},
        {"Paris", {"louvre.jpg"}},
        {"Formello", {"formello.jpg"}},
        {"Seattle", {"seattle.jpg"}},
        {"King County", {}},
        {"photos in Lazio", {"formello.jpg", "pigna.jpg"}},
        {"Italy", {"formello.jpg", "pigna.jpg"}},
        // Names with stop words inside, typed in English and Turkish.
        {"Rio de Janeiro", {"copacabana.jpg"}},
        {"photos from Rio de Janeiro", {"copacabana.jpg"}},
        {"Rio de Janeiro'daki fotoğraflar", {"copacabana.jpg"}},
        {"Copacabana", {"copacabana.jpg"}},
        {"Saint-Martin-de-Ré", {"re.jpg"}},
        {"Saint Martin de Ré", {"re.jpg"}},
        {"Saint-Martin-de-Ré'de çekilen fotoğraflar", {"re.jpg"}},
    };
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(found(text), expected) << text.toStdString();
    }
}

} // namespace
} // namespace pivra
