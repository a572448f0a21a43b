#pragma once

#include <QMap>
#include <QString>
#include <QVariant>
#include <optional>

namespace pivra {

// The stored metadata text of an image: its property dictionary made safe and
// serialized; nothing when nothing of it survives the conversion.
//
// Safe means: string-keyed maps and lists are converted element by element
// (elements that convert to nothing are dropped, an empty list or map stays
// empty), strings and booleans stay, other numbers stay when finite, dates
// become ISO 8601 text in UTC, and everything else (binary data, NaN,
// infinities, unknown types) converts to nothing.
//
// The text is compact JSON with the keys sorted at every level, exactly as
// Qt's JSON document writes the same values: integral doubles within 2^53 as
// integers, other doubles in their shortest form, strings escaped as Qt
// escapes them.
std::optional<QString> propertiesJSON(const QVariantMap& properties);

// A video's flat object from metadata identifier to value text, in the same form.
QString flatJSON(const QMap<QString, QString>& entries);

} // namespace pivra
