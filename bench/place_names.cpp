// The offline reverse geocoder: opening its data file (mapping and checking
// every index in it) and naming 10,000 random points on land.
#include "platform/geocoder/GeocoderData.h"
#include "platform/geocoder/OfflineReverseGeocoder.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace pivra;

std::unique_ptr<GeocoderData> openData()
{
    std::unique_ptr<GeocoderData> data = GeocoderData::open(OfflineReverseGeocoder::defaultDataPath());
    if (!data) {
        qFatal("no geocoder data at %s", qPrintable(OfflineReverseGeocoder::defaultDataPath()));
    }
    return data;
}

// Uniform over the sphere between the polar circles, kept only where a country is found.
std::vector<std::pair<double, double>> landPoints(const GeocoderData& data, std::size_t count)
{
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::pair<double, double>> points;
    while (points.size() < count) {
        const double latitude = std::asin(unit(random) * 2 - 1) * 180 / M_PI * (66.5 / 90);
        const double longitude = unit(random) * 360 - 180;
        if (data.lookup(latitude, longitude, PlaceLanguage::english).country) {
            points.emplace_back(latitude, longitude);
        }
    }
    return points;
}

void BM_OpenPlaceData(benchmark::State& state)
{
    qint64 size = 0;
    for (auto _ : state) {
        size = openData()->fileSize();
    }
    state.counters["file_MB"] = double(size) / 1e6;
}
BENCHMARK(BM_OpenPlaceData)->Unit(benchmark::kMillisecond);

void BM_NameTenThousandLandPoints(benchmark::State& state)
{
    const std::unique_ptr<GeocoderData> data = openData();
    const auto points = landPoints(*data, 10'000);
    std::size_t named = 0;
    for (auto _ : state) {
        named = 0;
        for (const auto& [latitude, longitude] : points) {
            named += data->lookup(latitude, longitude, PlaceLanguage::english).locality.has_value();
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(points.size()));
    state.counters["with_locality_pct"] = 100.0 * double(named) / double(points.size());
}
BENCHMARK(BM_NameTenThousandLandPoints)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the data path is found beside the program
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
