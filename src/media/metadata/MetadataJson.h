#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QVariant>
#include <optional>

namespace pivra {

// Makes one value of a property dictionary serializable: string-keyed maps and
// lists are converted element by element (elements that convert to nothing are
// dropped, an empty list stays empty), strings and booleans stay, other numbers
// stay when finite, dates become ISO 8601 text in UTC, and everything else
// (binary data, NaN, infinities, unknown types) converts to nothing.
std::optional<QJsonValue> jsonSafe(const QVariant& value);

// The stored metadata text: compact JSON, keys sorted at every level, UTF-8.
QString sortedJSON(const QJsonObject& object);

// An image's property dictionary made safe and serialized; nothing when
// nothing of it survives the conversion.
std::optional<QString> propertiesJSON(const QVariantMap& properties);

// A video's flat object from metadata identifier to value text.
QString flatJSON(const QMap<QString, QString>& entries);

} // namespace pivra
