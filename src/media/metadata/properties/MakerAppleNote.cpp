#include "media/metadata/properties/MakerAppleNote.h"

#include <QString>
#include <QVariantList>
#include <cstdint>
#include <cstring>

namespace pivra {
namespace {

constexpr QByteArrayView signature("Apple iOS\0", 10);
constexpr qsizetype byteOrderOffset = 12;
constexpr qsizetype directoryOffset = 14;
constexpr qsizetype entrySize = 12;

// TIFF field types and the size of one element of each.
enum FieldType : uint16_t {
    Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SByte = 6, Undefined = 7,
    SShort = 8, SLong = 9, SRational = 10, Float = 11, Double = 12,
};

qsizetype elementSize(uint16_t type)
{
    switch (type) {
    case Byte: case Ascii: case SByte: case Undefined: return 1;
    case Short: case SShort: return 2;
    case Long: case SLong: case Float: return 4;
    case Rational: case SRational: case Double: return 8;
    default: return 0;
    }
}

// Bounds-checked reads in the note's byte order.
class Reader {
public:
    Reader(QByteArrayView bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    bool has(qsizetype offset, qsizetype length) const
    {
        return offset >= 0 && length >= 0 && offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    uint64_t unsignedAt(qsizetype offset, int width) const
    {
        uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            const uint64_t byte = uint8_t(bytes_[offset + (bigEndian_ ? i : width - 1 - i)]);
            value = (value << 8) | byte;
        }
        return value;
    }

    QByteArrayView slice(qsizetype offset, qsizetype length) const { return bytes_.sliced(offset, length); }

private:
    QByteArrayView bytes_;
    bool bigEndian_;
};

QVariant element(const Reader& reader, uint16_t type, qsizetype offset)
{
    switch (type) {
    case Byte: return int(reader.unsignedAt(offset, 1));
    case SByte: return int(int8_t(reader.unsignedAt(offset, 1)));
    case Short: return int(reader.unsignedAt(offset, 2));
    case SShort: return int(int16_t(reader.unsignedAt(offset, 2)));
    case Long: return qlonglong(reader.unsignedAt(offset, 4));
    case SLong: return int(int32_t(reader.unsignedAt(offset, 4)));
    case Rational:
        // A zero denominator gives an infinity or NaN; the JSON conversion drops those.
        return double(reader.unsignedAt(offset, 4)) / double(reader.unsignedAt(offset + 4, 4));
    case SRational:
        return double(int32_t(reader.unsignedAt(offset, 4))) / double(int32_t(reader.unsignedAt(offset + 4, 4)));
    case Float: {
        const auto bits = uint32_t(reader.unsignedAt(offset, 4));
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return double(value);
    }
    case Double: {
        const uint64_t bits = reader.unsignedAt(offset, 8);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    default:
        return {};
    }
}

QVariant fieldValue(const Reader& reader, uint16_t type, qsizetype offset, qsizetype count)
{
    if (type == Ascii) {
        QByteArrayView text = reader.slice(offset, count);
        const qsizetype end = text.indexOf('\0');
        return QString::fromUtf8(end < 0 ? text : text.first(end));
    }
    if (type == Undefined) {
        return reader.slice(offset, count).toByteArray();
    }
    if (count == 1) {
        return element(reader, type, offset);
    }
    QVariantList list;
    const qsizetype size = elementSize(type);
    for (qsizetype i = 0; i < count; ++i) {
        list.append(element(reader, type, offset + i * size));
    }
    return list;
}

} // namespace

std::optional<QVariantMap> decodeMakerApple(QByteArrayView note)
{
    if (!note.startsWith(signature) || note.size() < directoryOffset + 2) {
        return std::nullopt;
    }
    const QByteArrayView order = note.sliced(byteOrderOffset, 2);
    if (order != "MM" && order != "II") {
        return std::nullopt;
    }
    const Reader reader(note, order == "MM");
    const auto entryCount = qsizetype(reader.unsignedAt(directoryOffset, 2));
    QVariantMap group;
    for (qsizetype index = 0; index < entryCount; ++index) {
        const qsizetype at = directoryOffset + 2 + index * entrySize;
        if (!reader.has(at, entrySize)) {
            break;
        }
        const auto tag = uint16_t(reader.unsignedAt(at, 2));
        const auto type = uint16_t(reader.unsignedAt(at + 2, 2));
        const uint64_t count = reader.unsignedAt(at + 4, 4);
        const qsizetype size = elementSize(type);
        if (size == 0 || count == 0 || count > uint64_t(note.size()) / uint64_t(size)) {
            continue;
        }
        const auto length = qsizetype(count) * size;
        const qsizetype offset = length <= 4 ? at + 8 : qsizetype(reader.unsignedAt(at + 8, 4));
        if (!reader.has(offset, length)) {
            continue;
        }
        group.insert(QString::number(tag), fieldValue(reader, type, offset, qsizetype(count)));
    }
    return group;
}

} // namespace pivra
