#include "catalog/model/LibrarySource.h"

#include "catalog/model/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <limits>

namespace pivra {
namespace {

std::optional<QString> requiredString(const QJsonObject& object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

bool isMissing(const QJsonValue& value)
{
    return value.isUndefined() || value.isNull();
}

// Writes an optional string field into `out`; false when the key holds something
// that is neither a string nor null.
bool readOptionalString(const QJsonObject& object, QLatin1StringView key, std::optional<QString>& out)
{
    const QJsonValue value = object.value(key);
    if (isMissing(value)) {
        out.reset();
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    out = value.toString();
    return true;
}

bool readOptionalInt64(const QJsonObject& object, QLatin1StringView key, std::optional<std::int64_t>& out)
{
    const QJsonValue value = object.value(key);
    if (isMissing(value)) {
        out.reset();
        return true;
    }
    if (!value.isDouble()) {
        return false;
    }
    // toInteger answers its default for fractions and out-of-range numbers; two
    // different defaults tell such a number apart from a real value.
    const qint64 first = value.toInteger(std::numeric_limits<qint64>::min());
    const qint64 second = value.toInteger(std::numeric_limits<qint64>::max());
    if (first != second) {
        return false;
    }
    out = first;
    return true;
}

std::optional<LibrarySource::Kind> readKind(const QJsonValue& value)
{
    if (isMissing(value)) {
        return LibrarySource::Kind::folder;
    }
    if (value == QJsonValue(QStringLiteral("folder"))) {
        return LibrarySource::Kind::folder;
    }
    if (value == QJsonValue(QStringLiteral("camera"))) {
        return LibrarySource::Kind::camera;
    }
    return std::nullopt;
}

} // namespace

QString rawValue(LibrarySource::Kind kind)
{
    return kind == LibrarySource::Kind::folder ? QStringLiteral("folder") : QStringLiteral("camera");
}

bool LibrarySource::storesAs(const LibrarySource& other) const
{
    return id == other.id && name == other.name && bookmark == other.bookmark && lastKnownPath == other.lastKnownPath
           && kind == other.kind && deviceID == other.deviceID && volumePath == other.volumePath
           && volumeName == other.volumeName && volumeCapacity == other.volumeCapacity;
}

bool storeAlike(const QList<LibrarySource>& a, const QList<LibrarySource>& b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const LibrarySource& x, const LibrarySource& y) { return x.storesAs(y); });
}

QJsonObject LibrarySource::toJson() const
{
    QJsonObject object;
    object.insert(QLatin1StringView("id"), uuidString(id));
    object.insert(QLatin1StringView("name"), name);
    object.insert(QLatin1StringView("bookmark"), QString::fromLatin1(bookmark.toBase64()));
    object.insert(QLatin1StringView("lastKnownPath"), lastKnownPath);
    object.insert(QLatin1StringView("kind"), rawValue(kind));
    if (deviceID) {
        object.insert(QLatin1StringView("deviceID"), *deviceID);
    }
    if (volumePath) {
        object.insert(QLatin1StringView("volumePath"), *volumePath);
    }
    if (volumeName) {
        object.insert(QLatin1StringView("volumeName"), *volumeName);
    }
    if (volumeCapacity) {
        object.insert(QLatin1StringView("volumeCapacity"), static_cast<qint64>(*volumeCapacity));
    }
    return object;
}

std::optional<LibrarySource> LibrarySource::fromJson(const QJsonValue& value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();

    const auto idText = requiredString(object, QLatin1StringView("id"));
    const auto name = requiredString(object, QLatin1StringView("name"));
    const auto bookmarkText = requiredString(object, QLatin1StringView("bookmark"));
    const auto lastKnownPath = requiredString(object, QLatin1StringView("lastKnownPath"));
    if (!idText || !name || !bookmarkText || !lastKnownPath) {
        return std::nullopt;
    }
    const auto id = parseUuid(*idText);
    const auto bookmark =
        QByteArray::fromBase64Encoding(bookmarkText->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto kind = readKind(object.value(QLatin1StringView("kind")));
    if (!id || !bookmark || !kind) {
        return std::nullopt;
    }

    LibrarySource source;
    source.id = *id;
    source.name = *name;
    source.bookmark = *bookmark;
    source.lastKnownPath = *lastKnownPath;
    source.kind = *kind;
    const bool optionalsRead = readOptionalString(object, QLatin1StringView("deviceID"), source.deviceID)
        && readOptionalString(object, QLatin1StringView("volumePath"), source.volumePath)
        && readOptionalString(object, QLatin1StringView("volumeName"), source.volumeName)
        && readOptionalInt64(object, QLatin1StringView("volumeCapacity"), source.volumeCapacity);
    if (!optionalsRead) {
        return std::nullopt;
    }
    return source;
}

size_t qHash(const LibrarySource& source, size_t seed)
{
    return qHash(source.id, seed);
}

QByteArray encodeSources(const QList<LibrarySource>& sources)
{
    QJsonArray array;
    for (const LibrarySource& source : sources) {
        array.append(source.toJson());
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

DecodedSources decodeSources(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return {{}, json};
    }
    DecodedSources decoded;
    QJsonArray unreadable;
    const QJsonArray array = document.array();
    decoded.sources.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (auto source = LibrarySource::fromJson(element)) {
            decoded.sources.append(std::move(*source));
        } else {
            unreadable.append(element);
        }
    }
    if (!unreadable.isEmpty()) {
        decoded.unreadable = QJsonDocument(unreadable).toJson(QJsonDocument::Compact);
    }
    return decoded;
}

} // namespace pivra
