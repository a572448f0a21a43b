#include "media/metadata/properties/ExivValues.h"

namespace pivra::exiv {
namespace {

bool isInteger(Exiv2::TypeId type)
{
    switch (type) {
    case Exiv2::unsignedByte: case Exiv2::unsignedShort: case Exiv2::unsignedLong:
    case Exiv2::signedByte: case Exiv2::signedShort: case Exiv2::signedLong:
    case Exiv2::tiffIfd:
        return true;
    default:
        return false;
    }
}

bool isFraction(Exiv2::TypeId type)
{
    return type == Exiv2::unsignedRational || type == Exiv2::signedRational || type == Exiv2::tiffFloat
        || type == Exiv2::tiffDouble;
}

QString trimmed(const std::string& raw)
{
    const auto end = raw.find('\0');
    QString result = QString::fromUtf8(raw.data(), qsizetype(end == std::string::npos ? raw.size() : end));
    while (!result.isEmpty() && result.back().isSpace()) {
        result.chop(1);
    }
    return result;
}

} // namespace

QString text(const Exiv2::Value& value)
{
    if (const auto* commentValue = dynamic_cast<const Exiv2::CommentValue*>(&value)) {
        return trimmed(commentValue->comment());
    }
    return trimmed(value.toString());
}

QByteArray bytes(const Exiv2::Value& value)
{
    QByteArray raw(value.size(), Qt::Uninitialized);
    value.copy(reinterpret_cast<Exiv2::byte*>(raw.data()), Exiv2::bigEndian);
    return raw;
}

QString comment(const Exiv2::Value& value)
{
    const Exiv2::TypeId type = value.typeId();
    if (type == Exiv2::asciiString || type == Exiv2::string) {
        return text(value); // some phones write these tags as plain ASCII, without the header
    }
    const QByteArray raw = bytes(value);
    Exiv2::CommentValue decoded;
    decoded.read(reinterpret_cast<const Exiv2::byte*>(raw.constData()), long(raw.size()), Exiv2::bigEndian);
    return trimmed(decoded.comment());
}

QVariant number(const Exiv2::Value& value, long index)
{
    const Exiv2::TypeId type = value.typeId();
    if (type == Exiv2::unsignedRational || type == Exiv2::signedRational) {
        const Exiv2::Rational fraction = value.toRational(index);
        return double(fraction.first) / double(fraction.second);
    }
    if (isFraction(type)) {
        return double(value.toFloat(index));
    }
    return qlonglong(value.toLong(index));
}

QVariantList numbers(const Exiv2::Value& value)
{
    QVariantList list;
    for (long index = 0; index < value.count(); ++index) {
        list.append(number(value, index));
    }
    return list;
}

QVariant plain(const Exiv2::Value& value)
{
    const Exiv2::TypeId type = value.typeId();
    if (type == Exiv2::comment || type == Exiv2::asciiString || type == Exiv2::string) {
        return text(value);
    }
    if (!isInteger(type) && !isFraction(type)) {
        return bytes(value);
    }
    if (value.count() == 1) {
        return number(value, 0);
    }
    return numbers(value);
}

} // namespace pivra::exiv
