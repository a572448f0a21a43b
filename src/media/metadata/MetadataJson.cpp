// The metadata text is written straight from the property dictionary rather
// than through QJsonObject and QJsonDocument: every inspected photo makes one,
// and building the document's tree of values, only to walk it once, cost a
// scan more than exiv2's own parse. The text stays byte for byte what Qt's
// writer makes of the same values, which the tests hold it to.
#include "media/metadata/MetadataJson.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace pivra {
namespace {

// A double JSON keeps as an integer: Qt stores an integral double as an
// integer when that adds no precision the double lacks (within 2^53).
bool isJsonInteger(double number)
{
    constexpr double mostExact = 9007199254740992.0; // 2^53
    return number >= -mostExact && number <= mostExact && std::trunc(number) == number;
}

void appendHexDigits(QString& json, char16_t unit, int digits)
{
    constexpr char hex[] = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        json += QLatin1Char(hex[(unit >> shift) & 0xf]);
    }
}

void appendString(QString& json, QStringView text)
{
    json += u'"';
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at].unicode();
        if (unit == u'"' || unit == u'\\') {
            json += u'\\';
            json += QChar(unit);
        } else if (unit < 0x20) {
            json += u'\\';
            switch (unit) {
            case 0x8: json += u'b'; break;
            case 0xc: json += u'f'; break;
            case 0xa: json += u'n'; break;
            case 0xd: json += u'r'; break;
            case 0x9: json += u't'; break;
            default:
                json += QLatin1StringView("u00");
                appendHexDigits(json, unit, 2);
            }
        } else if (QChar::isHighSurrogate(unit) && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            json += QChar(unit);
            json += text[++at];
        } else if (QChar::isSurrogate(unit)) {
            // UTF-8 cannot carry half a pair, so the writer spells it out.
            json += QLatin1StringView("\\u");
            appendHexDigits(json, unit, 4);
        } else {
            json += QChar(unit);
        }
    }
    json += u'"';
}

void appendDouble(QString& json, double number)
{
    if (isJsonInteger(number)) {
        json += QString::number(static_cast<qint64>(number));
    } else {
        json += QString::fromLatin1(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
    }
}

bool appendValue(QString& json, const QVariant& value);

bool appendValue(QString& json, const QString& text)
{
    appendString(json, text);
    return true;
}

template<typename Map>
void appendObject(QString& json, const Map& map)
{
    json += u'{';
    bool first = true;
    for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
        const qsizetype before = json.size();
        if (!first) {
            json += u',';
        }
        appendString(json, entry.key());
        json += u':';
        if (appendValue(json, entry.value())) {
            first = false;
        } else {
            json.truncate(before); // the entry converts to nothing: its key goes too
        }
    }
    json += u'}';
}

void appendArray(QString& json, const QVariantList& list)
{
    json += u'[';
    bool first = true;
    for (const QVariant& element : list) {
        const qsizetype before = json.size();
        if (!first) {
            json += u',';
        }
        if (appendValue(json, element)) {
            first = false;
        } else {
            json.truncate(before);
        }
    }
    json += u']';
}

// Appends `value` made safe; answers false, having appended nothing, when it
// converts to nothing.
bool appendValue(QString& json, const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
        appendObject(json, *static_cast<const QVariantMap*>(value.constData()));
        return true;
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        appendArray(json, value.toList());
        return true;
    case QMetaType::QString:
        appendString(json, *static_cast<const QString*>(value.constData()));
        return true;
    case QMetaType::Bool:
        json += value.toBool() ? QLatin1StringView("true") : QLatin1StringView("false");
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        json += QString::number(value.toLongLong());
        return true;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        appendDouble(json, value.toDouble());
        return true;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number)) {
            return false;
        }
        appendDouble(json, number);
        return true;
    }
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        if (!date.isValid()) {
            return false;
        }
        appendString(json, date.toUTC().toString(Qt::ISODate));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::optional<QString> propertiesJSON(const QVariantMap& properties)
{
    QString json;
    json.reserve(1024); // a camera photo's text, so that it grows once at most
    appendObject(json, properties);
    return json;
}

QString flatJSON(const QMap<QString, QString>& entries)
{
    QString json;
    appendObject(json, entries);
    return json;
}

} // namespace pivra
