#include "support/files/AppleMakerNote.h"

#include <cstdint>
#include <vector>

namespace pivra::test {
namespace {

constexpr int ifdOffset = 14;

void putU16(QByteArray& out, uint16_t value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xff));
}

void putU32(QByteArray& out, uint32_t value)
{
    putU16(out, uint16_t(value >> 16));
    putU16(out, uint16_t(value & 0xffff));
}

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    QByteArray payload; // big-endian value bytes
};

QByteArray signedRationals(std::initializer_list<std::pair<int32_t, int32_t>> values)
{
    QByteArray bytes;
    for (const auto& [numerator, denominator] : values) {
        putU32(bytes, uint32_t(numerator));
        putU32(bytes, uint32_t(denominator));
    }
    return bytes;
}

} // namespace

QByteArray appleMakerNote(const QString& liveIdentifier)
{
    QByteArray ascii = liveIdentifier.toLatin1();
    ascii.append('\0');
    QByteArray version;
    putU32(version, 14);
    const std::vector<Entry> entries{
        {0x0001, 9, 1, version},                                              // SLONG
        {0x0002, 7, 6, QByteArray("\x01\x02\x03\x04\x05\x06", 6)},            // UNDEFINED
        {0x0008, 10, 3, signedRationals({{-1, 2}, {1, 4}, {-3, 3}})},         // SRATIONAL
        {0x0011, 2, uint32_t(ascii.size()), ascii},                           // ASCII
    };

    QByteArray note("Apple iOS\0", 10);
    putU16(note, 1);
    note.append("MM");
    putU16(note, uint16_t(entries.size()));
    const int directorySize = 2 + int(entries.size()) * 12 + 4;
    QByteArray data;
    for (const Entry& entry : entries) {
        putU16(note, entry.tag);
        putU16(note, entry.type);
        putU32(note, entry.count);
        if (entry.payload.size() <= 4) {
            note.append(entry.payload.leftJustified(4, '\0'));
        } else {
            putU32(note, uint32_t(ifdOffset + directorySize + data.size()));
            data.append(entry.payload);
        }
    }
    putU32(note, 0); // no next directory
    return note + data;
}

} // namespace pivra::test
