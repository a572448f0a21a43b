#include "platform/geocoder/OfflineReverseGeocoder.h"

#include "platform/runtime/Dispatcher.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/Pool.h"

#include <QCoreApplication>
#include <QLocale>

#include <mutex>

namespace pivra {

namespace {

// Local lookups cost microseconds; the pause only keeps a long backlog from
// flooding the GUI thread with one completion after another.
constexpr std::chrono::milliseconds offlinePause{5};

// The build stamps this file with the version of the data it builds beside it.
#define PIVRA_TEXT(value) #value
#define PIVRA_EXPANDED_TEXT(value) PIVRA_TEXT(value)
const QString placeDataVersion = QStringLiteral(PIVRA_EXPANDED_TEXT(PIVRA_PLACE_DATA_VERSION));

} // namespace

// Lives as long as the geocoder or its last lookup in flight, whichever is later.
struct OfflineReverseGeocoder::Shared {
    QString path;
    PlaceLanguage language;
    std::once_flag opened;
    std::unique_ptr<GeocoderData> data;

    const GeocoderData* load()
    {
        std::call_once(opened, [this] { data = GeocoderData::open(path); });
        return data.get();
    }
};

OfflineReverseGeocoder::OfflineReverseGeocoder(PlaceLanguage language, QString dataPath)
    : shared_(std::make_shared<Shared>())
{
    shared_->path = dataPath.isEmpty() ? defaultDataPath() : std::move(dataPath);
    shared_->language = language;
}

OfflineReverseGeocoder::~OfflineReverseGeocoder() = default;

QString OfflineReverseGeocoder::defaultDataPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../resources/places.geo");
}

PlaceLanguage OfflineReverseGeocoder::systemLanguage()
{
    return QLocale().language() == QLocale::Turkish ? PlaceLanguage::turkish : PlaceLanguage::english;
}

void OfflineReverseGeocoder::reverseGeocode(double latitude, double longitude, QObject* context, Completion done)
{
    detail::workQueued();
    detail::startOnPool(PoolPriority::utility, [shared = shared_, latitude, longitude, back = GuiReturn(context),
                                                done = std::move(done)]() mutable {
        GeocodeResult result;
        if (const GeocoderData* data = shared->load()) {
            result.placemarks.push_back(data->lookup(latitude, longitude, shared->language));
        } else {
            result.failure = GeocodeFailure::other;
        }
        back.post([done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
        detail::workDelivered();
    });
}

std::chrono::milliseconds OfflineReverseGeocoder::pauseBetweenLookups() const
{
    return offlinePause;
}

QString OfflineReverseGeocoder::dataVersion() const
{
    return placeDataVersion;
}

} // namespace pivra
