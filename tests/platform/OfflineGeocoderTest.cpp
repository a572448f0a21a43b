#include "platform/geocoder/OfflineReverseGeocoder.h"

#include "platform/runtime/Drain.h"
#include "support/system/TempFolder.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

#include <cmath>

namespace pivra {
namespace {

// The fields a lookup fills, as one readable line: "locality | district of
// the city | wider district | region | country".
std::string describe(const Placemark& p)
{
    QStringList fields;
    for (const auto* field : {&p.locality, &p.subLocality, &p.subAdministrativeArea, &p.administrativeArea, &p.country}) {
        fields << field->value_or(QStringLiteral("-"));
    }
    return fields.join(QStringLiteral(" | ")).toStdString();
}

const GeocoderData& data()
{
    static const std::unique_ptr<GeocoderData> opened = GeocoderData::open(OfflineReverseGeocoder::defaultDataPath());
    if (!opened) {
        throw std::runtime_error("the geocoder data file is missing; build the pivra_geocoder_data target");
    }
    return *opened;
}

TEST(OfflineGeocoderTest, NamesKnownPointsInEnglishAndTurkish)
{
    struct Row {
        const char* what;
        double latitude;
        double longitude;
        const char* english;
        const char* turkishCountry;
    };
    const Row rows[] = {
        // A city's centre is the city, whatever quarter or village lies nearer,
        // and the nearest smaller place inside it is the area.
        {"Rome, Pigna", 41.89635, 12.48463,
         "Rome | Pigna | Città metropolitana di Roma Capitale | Lazio | Italy", "İtalya"},
        {"Paris, the Louvre", 48.8606, 2.3376, "Paris | Paris 01 Louvre | Paris | Île-de-France | France", "Fransa"},
        {"London, Westminster", 51.4995, -0.1248,
         "London | City of Westminster | Greater London | England | United Kingdom", "Birleşik Krallık"},
        {"Berlin, Mitte", 52.5200, 13.4050, "Berlin | Mitte | - | State of Berlin | Germany", "Almanya"},
        {"Madrid, Sol", 40.4169, -3.7035, "Madrid | Sol | Provincia de Madrid | Madrid | Spain", "İspanya"},
        {"Istanbul, Sultanahmet", 41.0082, 28.9784, "Istanbul | Sultanahmet | - | Istanbul | Türkiye", "Türkiye"},
        {"Kyoto", 35.0116, 135.7681, "Kyoto | Kamigyō-ku | Kyōto Shi | Kyoto | Japan", "Japonya"},
        {"Kyoto, a turn further west", 35.0116, 135.7681 - 360, "Kyoto | Kamigyō-ku | Kyōto Shi | Kyoto | Japan",
         "Japonya"},
        // A village or town outside a city's reach is its own place.
        {"Formello, a village 22 km from Rome", 42.0794, 12.3999,
         "Formello | - | Città metropolitana di Roma Capitale | Lazio | Italy", "İtalya"},
        {"Boulogne-Billancourt, a town beside Paris", 48.8353, 2.2400,
         "Boulogne-Billancourt | Sèvres | Hauts-de-Seine | Île-de-France | France", "Fransa"},
        {"Göreme", 38.6431, 34.8289, "Göreme | - | Ürgüp | Nevşehir Province | Türkiye", "Türkiye"},
        {"countryside: only the region", 39.0, 35.0, "- | - | - | Kayseri | Türkiye", "Türkiye"},
        {"mid-Atlantic", 30.0, -40.0, "- | - | - | - | -", nullptr},
        {"beyond the pole", 90.5, 10.0, "- | - | - | - | -", nullptr},
        {"not a number", std::nan(""), 10.0, "- | - | - | - | -", nullptr},
        {"Görlitz, by the border", 51.1528, 14.9650, "Görlitz | - | - | Saxony | Germany", "Almanya"},
        // Görlitz's centre is nearer, but the point lies across the river, in Poland.
        {"Zgorzelec, by the border", 51.1528, 14.9950,
         "Zgorzelec | - | Powiat zgorzelecki | Lower Silesia | Poland", "Polonya"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(describe(data().lookup(row.latitude, row.longitude, PlaceLanguage::english)), row.english);
        const std::optional<QString> turkish = data().lookup(row.latitude, row.longitude, PlaceLanguage::turkish).country;
        EXPECT_EQ(turkish.value_or("-").toStdString(), row.turkishCountry ? row.turkishCountry : "-");
    }
}

TEST(OfflineGeocoderTest, AnswersOnTheGuiThreadAfterLoadingLazily)
{
    OfflineReverseGeocoder geocoder(PlaceLanguage::turkish);
    QObject context;
    std::optional<GeocodeResult> answer;
    geocoder.reverseGeocode(35.0116, 135.7681, &context, [&](GeocodeResult result) { answer = std::move(result); });
    EXPECT_FALSE(answer) << "never inside the call";
    ASSERT_TRUE(drain());
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->placemarks.size(), 1u);
    EXPECT_EQ(answer->placemarks[0].country, QStringLiteral("Japonya"));
    EXPECT_LT(geocoder.pauseBetweenLookups(), std::chrono::milliseconds(50));
}

class OfflineGeocoderFileTest : public test::TempFolderTest {};

TEST_F(OfflineGeocoderFileTest, MissingOrDamagedDataFailsEveryLookupQuietly)
{
    QFile original(OfflineReverseGeocoder::defaultDataPath());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    const QByteArray truncated = bytes.left(bytes.size() / 2);
    QByteArray badIndex = bytes;
    badIndex[16 + 8 * 4 + 4] = char(0xff); // the place count now points past the file
    for (const auto& [name, contents] : {std::pair{"truncated", truncated}, std::pair{"bad index", badIndex},
                                         std::pair{"empty", QByteArray()}}) {
        SCOPED_TRACE(name);
        const QString path = writeFile(QString::fromUtf8(name), contents);
        EXPECT_EQ(GeocoderData::open(path), nullptr);
        OfflineReverseGeocoder geocoder(PlaceLanguage::english, path);
        QObject context;
        std::optional<GeocodeResult> answer;
        geocoder.reverseGeocode(1, 1, &context, [&](GeocodeResult result) { answer = std::move(result); });
        ASSERT_TRUE(drain());
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->placemarks.empty());
        EXPECT_EQ(answer->failure, GeocodeFailure::other);
    }
}

} // namespace
} // namespace pivra
