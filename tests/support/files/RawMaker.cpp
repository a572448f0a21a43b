#include "support/files/RawMaker.h"

#include <QFile>
#include <QtEndian>

#include <vector>

namespace pivra::test {
namespace {

constexpr quint16 shortType = 3;
constexpr quint16 longType = 4;
constexpr int headerSize = 8;
constexpr int mainSide = 4; // the main image: 4 × 4 grey pixels, one strip

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    quint32 value; // the value itself when it fits in four bytes, else where it is
};

int directorySize(std::size_t entries)
{
    return int(2 + 12 * entries + 4);
}

void put16(QByteArray& out, quint16 value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put32(QByteArray& out, quint32 value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// A directory with no next one; `entries` sorted by tag, as TIFF wants.
void putDirectory(QByteArray& out, const std::vector<Entry>& entries)
{
    put16(out, quint16(entries.size()));
    for (const Entry& entry : entries) {
        put16(out, entry.tag);
        put16(out, entry.type);
        put32(out, entry.count);
        if (entry.type == shortType && entry.count == 1) {
            put16(out, quint16(entry.value));
            put16(out, 0);
        } else {
            put32(out, entry.value);
        }
    }
    put32(out, 0);
}

} // namespace

bool makeTiffRaw(const QString& path, const QByteArrayList& previews, int orientation)
{
    if (previews.isEmpty()) {
        return false;
    }
    const auto count = quint32(previews.size());
    // Header, main directory, the SubIFDs offsets (apart when there is more
    // than one, which no longer fits in the entry), the sub-image directories,
    // the main image's strip, the previews (each at an even offset).
    const std::size_t mainEntries = 12;
    const std::size_t subEntries = 4;
    const quint32 offsetList = headerSize + directorySize(mainEntries);
    const quint32 firstSub = offsetList + (count > 1 ? 4 * count : 0);
    const quint32 strip = firstSub + count * directorySize(subEntries);
    std::vector<quint32> subOffsets;
    std::vector<quint32> previewOffsets;
    quint32 previewAt = strip + mainSide * mainSide;
    for (const QByteArray& preview : previews) {
        subOffsets.push_back(firstSub + quint32(subOffsets.size()) * directorySize(subEntries));
        previewOffsets.push_back(previewAt);
        previewAt += quint32(preview.size() + preview.size() % 2);
    }
    const std::vector<Entry> main{
        {0x00fe, longType, 1, 0},                                                 // NewSubfileType: main image
        {0x0100, longType, 1, mainSide},                                          // ImageWidth
        {0x0101, longType, 1, mainSide},                                          // ImageLength
        {0x0102, shortType, 1, 8},                                                // BitsPerSample
        {0x0103, shortType, 1, 1},                                                // Compression: none
        {0x0106, shortType, 1, 1},                                                // Photometric: grey
        {0x0111, longType, 1, strip},                                             // StripOffsets
        {0x0112, shortType, 1, quint32(orientation)},                             // Orientation
        {0x0115, shortType, 1, 1},                                                // SamplesPerPixel
        {0x0116, longType, 1, mainSide},                                          // RowsPerStrip
        {0x0117, longType, 1, mainSide * mainSide},                               // StripByteCounts
        {0x014a, longType, count, count > 1 ? offsetList : subOffsets.front()}, // SubIFDs
    };

    QByteArray out("II");
    put16(out, 42);
    put32(out, headerSize);
    putDirectory(out, main);
    if (count > 1) {
        for (const quint32 offset : subOffsets) {
            put32(out, offset);
        }
    }
    for (int i = 0; i < previews.size(); ++i) {
        putDirectory(out, {
            {0x00fe, longType, 1, 1},                                // NewSubfileType: reduced size
            {0x0103, shortType, 1, 6},                               // Compression: JPEG
            {0x0201, longType, 1, previewOffsets[std::size_t(i)]},   // JPEGInterchangeFormat
            {0x0202, longType, 1, quint32(previews[i].size())},      // JPEGInterchangeFormatLength
        });
    }
    out.append(QByteArray(mainSide * mainSide, '\x80'));
    for (const QByteArray& preview : previews) {
        out.append(preview);
        if (preview.size() % 2 != 0) {
            out.append('\0');
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

} // namespace pivra::test
