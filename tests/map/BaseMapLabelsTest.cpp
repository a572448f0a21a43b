// The base map's names as a user meets them from continent to country zoom:
// capitals and the largest cities first, no village, and where names collide
// the larger place named. Each region is also drawn in both schemes into the
// build's renders/.
#include "map/MapSettle.h"
#include "map/basemap/BaseMapData.h"
#include "map/basemap/BaseMapRenderer.h"
#include "map/basemap/LabelPlacement.h"
#include "style/appearance/PivraAppearance.h"
#include "support/desktop/Renders.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pivra::test {
namespace {

struct Region {
    const char* name;
    double north;
    double west;
    double south;
    double east;
};

const Region westernEurope{"western-europe", 56, -10, 36, 20};
const Region turkiye{"turkiye", 42.5, 25.5, 35.5, 45};
const Region alps{"switzerland-and-the-channel-islands", 50, -3.5, 45.5, 11};
const Region australia{"australia", -10, 112, -44, 154};
const Region japan{"japan", 46, 128, 30, 146};
const Region westernUnitedStates{"western-united-states", 49.5, -125, 31, -102};
const Region easternUnitedStates{"eastern-united-states", 47, -90, 33, -66};
// Regions drawn, at country zoom and at the zoom of a part of a continent.
const std::pair<const Region*, int> drawn[] = {
    {&westernEurope, 5}, {&turkiye, 5}, {&japan, 5}, {&westernUnitedStates, 5}, {&easternUnitedStates, 4}};

// A view of a region at a tile zoom: who must be named there, and who not yet.
struct View {
    const Region& region;
    int zoom;
    QStringList named;
    QStringList unnamed;
};

const View views[] = {
    {australia, 3, {}, {"Sydney"}},
    // About zoom 3.5: the state capitals and Canberra, not Sydney alone.
    {australia, 4, {"Sydney", "Melbourne", "Brisbane", "Perth", "Adelaide", "Canberra"}, {}},
    {westernEurope, 4, {"Paris", "London", "Madrid", "Berlin", "Rome"}, {"Bern", "Saint Helier"}},
    {westernEurope, 5, {"Paris", "London", "Rome", "Madrid", "Berlin"}, {}},
    {turkiye, 5, {"Istanbul", "Ankara"}, {}},
    // A country's largest cities, though one stands beside a larger one.
    {japan, 4, {"Tokyo", "Osaka", "Sapporo", "Fukuoka"}, {}},
    {japan, 5, {"Tokyo", "Osaka", "Nagoya", "Sapporo", "Fukuoka"}, {}},
    // The largest city of its part of a country, though a country further
    // south has more cities of a million.
    {westernUnitedStates, 4, {"Los Angeles", "Phoenix", "Seattle", "Denver", "Las Vegas"}, {}},
    // A city between two larger names finds room at a corner of its dot,
    // and a city's boroughs do not stand in its place.
    {easternUnitedStates, 4, {"New York City", "Philadelphia", "Washington", "Chicago", "Toronto", "Montréal"},
     {"Brooklyn", "Queens", "Manhattan"}},
    // About zoom 5.8: the capital and the largest cities of a country before
    // the capitals of two islands of a few tens of thousands.
    {alps, 5, {"Bern"}, {"Saint Helier", "Saint Peter Port"}},
    {alps, 6, {"Bern", "Zürich", "Genève"}, {"Saint Helier", "Saint Peter Port"}},
    {alps, 7, {"Bern", "Zürich", "Genève", "Saint Helier"}, {}},
};

// Names a screen of a continent holds and stays readable.
constexpr std::size_t readableNames = 50;
// Places whose dots lie closer than this, in pixels, are never both named:
// each name keeps its dot and a margin clear.
constexpr double dotsApart = 2 * (LabelPlacement::cityDotRadius + 8);

MapRect areaOf(const Region& region)
{
    return MapRect::at(mapPointFor(region.north, region.west)).united(MapRect::at(mapPointFor(region.south, region.east)));
}

// At each zoom the capitals and the largest cities are named before smaller
// towns: a city the zoom allows but leaves unnamed lost to a place named
// beside it that is at least as large, or named from an earlier zoom; up to
// country zoom no village is named, nor more than a screen can hold.
TEST(BaseMapLabelsTest, AtEachZoomCapitalsAndTheLargestCitiesAreNamedBeforeSmallerTowns)
{
    const std::shared_ptr<const BaseMapData> data = BaseMapData::shared();
    ASSERT_TRUE(data);
    const BaseMapRenderer renderer(data);
    for (const View& view : views) {
        SCOPED_TRACE(QStringLiteral("%1 at zoom %2").arg(QLatin1String(view.region.name)).arg(view.zoom).toStdString());
        const MapRect area = areaOf(view.region);
        const std::vector<BaseMapData::Label> shown = renderer.citiesShown(view.zoom, area);
        QStringList names;
        for (const BaseMapData::Label& label : shown) {
            names << label.name;
        }
        for (const QString& name : view.named) {
            EXPECT_TRUE(names.contains(name)) << name.toStdString() << " not among " << names.join(", ").toStdString();
        }
        for (const QString& name : view.unnamed) {
            EXPECT_FALSE(names.contains(name)) << name.toStdString() << " named already";
        }
        if (view.zoom <= 5) {
            EXPECT_LE(shown.size(), readableNames) << names.join(", ").toStdString();
            for (const BaseMapData::Label& label : shown) {
                EXPECT_GE(label.population, 10000u) << label.name.toStdString();
            }
        }
        const double pixelsPerPoint = BaseMapRenderer::tilePixels * std::exp2(view.zoom) / mapWorldSize;
        for (const BaseMapData::Label city : data->cities()) {
            if (city.minimumZoom > view.zoom + 0.5 || !area.contains(city.point) || names.contains(city.name)) {
                continue;
            }
            const bool beaten = std::any_of(shown.begin(), shown.end(), [&](const BaseMapData::Label& winner) {
                const double pixels = std::hypot(winner.point.x - city.point.x, winner.point.y - city.point.y)
                                    * pixelsPerPoint;
                return pixels < 200 && (winner.population >= city.population || winner.minimumZoom < city.minimumZoom);
            });
            EXPECT_TRUE(beaten) << city.name.toStdString() << " left out";
            // Two places this close cannot both be named: the larger is.
            const auto crowding = std::find_if(shown.begin(), shown.end(), [&](const BaseMapData::Label& named) {
                const double pixels = std::hypot(named.point.x - city.point.x, named.point.y - city.point.y)
                                    * pixelsPerPoint;
                return pixels < dotsApart && named.population < city.population && !named.capital;
            });
            EXPECT_EQ(crowding, shown.end()) << city.name.toStdString() << " left out for the smaller "
                                             << crowding->name.toStdString();
        }
    }
}

// The data lists the cities in the order they are named: by the zoom they
// are named from, and within it the larger first.
TEST(BaseMapLabelsTest, CitiesComeInTheOrderTheyAreNamed)
{
    const std::shared_ptr<const BaseMapData> data = BaseMapData::shared();
    ASSERT_TRUE(data);
    const BaseMapData::Labels& cities = data->cities();
    double bern = -1;
    double saintHelier = -1;
    for (std::size_t i = 0; i < cities.size(); ++i) {
        if (i > 0) {
            ASSERT_LE(cities.minimumZoom(i - 1), cities.minimumZoom(i)) << i;
        }
        const QByteArrayView name = cities.nameBytes(i);
        bern = name == "Bern" && bern < 0 ? cities.minimumZoom(i) : bern;
        saintHelier = name == "Saint Helier" && saintHelier < 0 ? cities.minimumZoom(i) : saintHelier;
    }
    EXPECT_LT(bern, saintHelier);
}

TEST(BaseMapLabelsTest, RegionsAreDrawnInBothSchemes)
{
    for (const auto& [region, zoom] : drawn) {
        for (const bool dark : {false, true}) {
            MapView view;
            view.resize(1200, 800);
            view.setPalette(PivraAppearance::palette(dark));
            view.show();
            const MapRect area = areaOf(*region);
            view.setCamera(area.center(), zoom);
            const QImage frame = settledFrame(view);
            // Land and sea both show, in the scheme's colours.
            const BaseMapColors colors = BaseMapColors::forScheme(dark);
            int land = 0;
            int sea = 0;
            for (int y = 0; y < frame.height(); y += 16) {
                for (int x = 0; x < frame.width(); x += 16) {
                    const QColor pixel = frame.pixelColor(x, y);
                    land += pixel == colors.land;
                    sea += pixel == colors.ocean;
                }
            }
            EXPECT_GT(land, 100) << region->name;
            EXPECT_GT(sea, 100) << region->name;
            frame.save(rendersFolder() + QStringLiteral("/basemap-%1-z%2-%3.png")
                                              .arg(QString::fromLatin1(region->name)).arg(zoom)
                                              .arg(dark ? "dark" : "light"));
        }
    }
}

} // namespace
} // namespace pivra::test
