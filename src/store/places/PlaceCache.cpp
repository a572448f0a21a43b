#include "store/places/PlaceCache.h"

#include "catalog/MediaCatalog.h"
#include "platform/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace pivra {

namespace {

const QString legacyKey = QStringLiteral("pivra.placeNames.v1");

bool writeAtomically(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

QString PlaceCache::defaultFile()
{
    return QFileInfo(MediaCatalog::defaultDatabasePath()).dir().filePath(QStringLiteral("PlaceNames.json"));
}

PlaceCache::PlaceCache(QString file) : file_(std::move(file)) {}

PlaceCache::~PlaceCache() = default;

QHash<QString, Place> PlaceCache::load()
{
    QFile file(file_);
    std::optional<QHash<QString, Place>> places =
        file.open(QIODevice::ReadOnly) ? decodePlaces(file.readAll()) : std::nullopt;
    const QVariant legacy = AppSettings().value(legacyKey);
    if (!legacy.isValid()) {
        return places.value_or(QHash<QString, Place>());
    }
    // Undecodable data under the key is dropped with it.
    std::optional<QByteArray> moved;
    if (!places) {
        places = decodePlaces(legacy.toByteArray());
        if (places) {
            moved = legacy.toByteArray();
        }
    }
    writer_.post([path = file_, moved = std::move(moved)] {
        // The key stays for the next start if its data could not be written.
        if (moved && !writeAtomically(path, *moved)) {
            return;
        }
        AppSettings settings;
        settings.remove(legacyKey);
        settings.sync();
    });
    return places.value_or(QHash<QString, Place>());
}

void PlaceCache::save(QHash<QString, Place> places)
{
    writer_.post([path = file_, places = std::move(places)] { writeAtomically(path, encodePlaces(places)); });
}

} // namespace pivra
