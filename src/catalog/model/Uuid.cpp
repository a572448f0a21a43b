#include "catalog/model/Uuid.h"

namespace pivra {

QString uuidString(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QStringList uuidStrings(const QList<QUuid>& uuids)
{
    QStringList strings;
    strings.reserve(uuids.size());
    for (const QUuid& uuid : uuids) {
        strings.append(uuidString(uuid));
    }
    return strings;
}

std::optional<QUuid> parseUuid(QStringView text)
{
    constexpr qsizetype canonicalLength = 36;
    if (text.size() != canonicalLength || text.front() == u'{') {
        return std::nullopt;
    }
    const QUuid uuid = QUuid::fromString(text);
    if (uuid.isNull() && text != u"00000000-0000-0000-0000-000000000000") {
        return std::nullopt;
    }
    return uuid;
}

} // namespace pivra
