#include "media/metadata/MetadataJson.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace pivra {

std::optional<QJsonValue> jsonSafe(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
            if (auto converted = jsonSafe(entry.value())) {
                object.insert(entry.key(), *converted);
            }
        }
        return object;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QJsonArray array;
        for (const QVariant& element : value.toList()) {
            if (auto converted = jsonSafe(element)) {
                array.append(*converted);
            }
        }
        return array;
    }
    case QMetaType::QString:
        return QJsonValue(value.toString());
    case QMetaType::Bool:
        return QJsonValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return QJsonValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QJsonValue(value.toDouble());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number)) {
            return std::nullopt;
        }
        return QJsonValue(number);
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid()) {
            return std::nullopt;
        }
        return QJsonValue(date.toUTC().toString(Qt::ISODate));
    }
    default:
        return std::nullopt;
    }
}

QString sortedJSON(const QJsonObject& object)
{
    // QJsonObject keeps its keys ordered, at every level.
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

std::optional<QString> propertiesJSON(const QVariantMap& properties)
{
    const std::optional<QJsonValue> safe = jsonSafe(properties);
    if (!safe || !safe->isObject()) {
        return std::nullopt;
    }
    return sortedJSON(safe->toObject());
}

QString flatJSON(const QMap<QString, QString>& entries)
{
    QJsonObject object;
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        object.insert(entry.key(), entry.value());
    }
    return sortedJSON(object);
}

} // namespace pivra
