#include "viewer/info/MetadataRows.h"

#include "style/ByteCountText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

namespace pivra {
namespace {

const QString pathSeparator = QStringLiteral(" · ");

// Integers as integers (also past 2^53, which a double would round), other
// numbers in their shortest form that reads back the same.
QString numberText(const QJsonValue& value)
{
    const double number = value.toDouble();
    if (std::trunc(number) == number && std::abs(number) < 9.2e18) {
        return QString::number(value.toInteger(static_cast<qint64>(number)));
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString description(const QJsonValue& value);

QString collectionText(const QJsonValue& value)
{
    // What a nested collection reads as inside an array row: its compact
    // JSON text.
    return value.isArray() ? QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact))
                           : QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

QString description(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return numberText(value);
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Null:
        return QStringLiteral("<null>");
    case QJsonValue::Array:
    case QJsonValue::Object:
        return collectionText(value);
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

void flatten(const QJsonValue& value, const QString& path, std::vector<MetadataRow>& rows)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        QStringList keys = object.keys();
        // By code point, so upper case comes before lower case whatever the
        // locale.
        std::sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) { return a < b; });
        for (const QString& key : keys) {
            flatten(object.value(key), path.isEmpty() ? key : path + pathSeparator + key, rows);
        }
    } else if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue& element : value.toArray()) {
            parts.append(description(element));
        }
        rows.push_back({path, parts.join(QStringLiteral(", "))});
    } else if (!path.isEmpty()) {
        rows.push_back({path, description(value)});
    }
}

} // namespace

std::vector<MetadataRow> metadataEntries(const std::optional<QString>& json)
{
    std::vector<MetadataRow> rows;
    if (!json) {
        return rows;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json->toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        return rows;
    }
    flatten(document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()), QString(), rows);
    return rows;
}

QString captureDateText(Timestamp date)
{
    const std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icu::Locale(QLocale().name().toUtf8().constData())));
    if (!format) {
        return QLocale().toString(QDateTime::fromMSecsSinceEpoch(qint64(date * 1000)), QLocale::ShortFormat);
    }
    icu::UnicodeString text;
    format->format(date * 1000, text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

QString durationText(double seconds)
{
    const long long whole = std::max(0LL, std::llround(seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

std::vector<MetadataRow> factRows(const MediaItem& item, const std::optional<LibrarySource>& source)
{
    std::vector<MetadataRow> rows{
        {QStringLiteral("Name"), item.name()},
        {QStringLiteral("Source"), source ? source->name : QStringLiteral("Unknown")},
        {QStringLiteral("Date"), captureDateText(item.captureDate())},
        {QStringLiteral("Date source"), item.dateOrigin()},
    };
    if (item.width() >= 1) {
        rows.push_back({QStringLiteral("Dimensions"),
                        QString::number(item.width()) + QStringLiteral(" × ") + QString::number(item.height())});
    }
    if (const auto camera = item.camera()) {
        rows.push_back({QStringLiteral("Camera"), *camera});
    }
    if (const auto lens = item.lens()) {
        rows.push_back({QStringLiteral("Lens"), *lens});
    }
    if (const auto duration = item.duration()) {
        rows.push_back({QStringLiteral("Duration"), durationText(*duration)});
    }
    rows.push_back({QStringLiteral("Size"), byteCountText(item.fileSize())});
    return rows;
}

} // namespace pivra
