// The base map's names as a user meets them at country zoom: capitals and the
// largest cities, no village, and where names collide the larger place
// named. Each view is also drawn in both schemes into the build's renders/.
#include "map/MapSettle.h"
#include "map/basemap/BaseMapData.h"
#include "map/basemap/BaseMapRenderer.h"
#include "style/appearance/PivraAppearance.h"
#include "support/Renders.h"

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
    QStringList named; // among the names at zoom 5
};

const Region regions[] = {
    {"western-europe", 56, -10, 36, 20, {"Paris", "London", "Rome", "Madrid", "Berlin"}},
    {"turkiye", 42.5, 25.5, 35.5, 45, {"Istanbul", "Ankara"}},
};

constexpr int countryZoom = 5;
// About as many names as a screen of a continent can hold and stay readable.
constexpr std::size_t readableNames = 30;

MapRect areaOf(const Region& region)
{
    return MapRect::at(mapPointFor(region.north, region.west)).united(MapRect::at(mapPointFor(region.south, region.east)));
}

TEST(BaseMapLabelsTest, AtCountryZoomTheLargestPlacesAreNamedAndNoVillage)
{
    const std::shared_ptr<const BaseMapData> data = BaseMapData::shared();
    ASSERT_TRUE(data);
    const BaseMapRenderer renderer(data);
    const double pixelsPerPoint = BaseMapRenderer::tilePixels * std::exp2(countryZoom) / mapWorldSize;
    for (const Region& region : regions) {
        SCOPED_TRACE(region.name);
        const MapRect area = areaOf(region);
        const std::vector<BaseMapData::Label> shown = renderer.citiesShown(countryZoom, area);
        QStringList names;
        for (const BaseMapData::Label& label : shown) {
            names << label.name;
            EXPECT_GE(label.population, 10000u) << label.name.toStdString();
        }
        for (const QString& name : region.named) {
            EXPECT_TRUE(names.contains(name)) << name.toStdString() << " among " << names.join(", ").toStdString();
        }
        EXPECT_LE(shown.size(), readableNames) << names.join(", ").toStdString();
        // A city the zoom allows but left unnamed lost to a larger place, or
        // to a capital, beside it.
        for (const BaseMapData::Label city : data->cities()) {
            if (city.minimumZoom > countryZoom || !area.contains(city.point) || names.contains(city.name)) {
                continue;
            }
            const bool beaten = std::any_of(shown.begin(), shown.end(), [&](const BaseMapData::Label& winner) {
                const double pixels = std::hypot(winner.point.x - city.point.x, winner.point.y - city.point.y)
                                    * pixelsPerPoint;
                return pixels < 200 && (winner.population >= city.population || winner.minimumZoom < city.minimumZoom);
            });
            EXPECT_TRUE(beaten) << city.name.toStdString() << " left out";
        }
    }
}

TEST(BaseMapLabelsTest, CountryZoomIsDrawnInBothSchemes)
{
    for (const Region& region : regions) {
        for (const bool dark : {false, true}) {
            MapView view;
            view.resize(1200, 800);
            view.setPalette(PivraAppearance::palette(dark));
            view.show();
            const MapRect area = areaOf(region);
            view.setCamera(area.center(), countryZoom);
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
            EXPECT_GT(land, 100) << region.name;
            EXPECT_GT(sea, 100) << region.name;
            frame.save(rendersFolder() + QStringLiteral("/basemap-%1-z5-%2.png")
                                              .arg(QString::fromLatin1(region.name), dark ? "dark" : "light"));
        }
    }
}

} // namespace
} // namespace pivra::test
