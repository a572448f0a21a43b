#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

namespace pivra {

// The canonical text of a UUID everywhere it is stored or compared:
// 36 upper-case hexadecimal characters with hyphens, no braces.
QString uuidString(const QUuid& uuid);
QStringList uuidStrings(const QList<QUuid>& uuids);

// Accepts only the 36-character form (either case); QUuid::fromString alone
// also takes braces, which stored data never holds.
std::optional<QUuid> parseUuid(QStringView text);

} // namespace pivra
