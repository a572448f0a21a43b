#include "media/formats/TiffDirectory.h"

#include <QByteArray>

#include <algorithm>
#include <functional>
#include <limits>

namespace pivra {
namespace {

constexpr std::uint16_t classicVersion = 42;
constexpr std::uint16_t bigTiffVersion = 43;
constexpr std::uint16_t bigTiffOffsetSize = 8;
constexpr std::uint16_t shortType = 3;
constexpr std::uint16_t longType = 4;
constexpr std::uint16_t long8Type = 16;
// A first directory of more entries than this is no camera's.
constexpr std::uint64_t mostEntries = 1000;

// Unsigned numbers of one byte order from a buffer; 0 past its end.
class Numbers {
public:
    Numbers(const QByteArray& bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::uint64_t at(qsizetype offset, int size) const
    {
        if (offset < 0 || offset + size > bytes_.size()) {
            return 0;
        }
        std::uint64_t result = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte = std::uint8_t(bytes_.at(offset + (bigEndian_ ? i : size - 1 - i)));
            result = (result << 8) | byte;
        }
        return result;
    }

private:
    const QByteArray& bytes_;
    bool bigEndian_;
};

int valueSize(std::uint16_t type)
{
    return type == shortType ? 2 : type == longType ? 4 : type == long8Type ? 8 : 0;
}

} // namespace

const TiffEntry* TiffDirectory::find(std::uint16_t tag) const
{
    const auto found = std::find_if(entries.begin(), entries.end(), [tag](const TiffEntry& entry) {
        return entry.tag == tag;
    });
    return found == entries.end() ? nullptr : &*found;
}

namespace {

// The directory as `read` (bytes from an offset, as many as there are) gives
// the TIFF of `size` bytes.
std::optional<TiffDirectory> readFirstDirectory(const std::function<QByteArray(std::int64_t, std::int64_t)>& read,
                                                std::int64_t size)
{
    const QByteArray header = read(0, 16);
    if (header.size() < 8 || (!header.startsWith("II") && !header.startsWith("MM"))) {
        return std::nullopt;
    }
    TiffDirectory directory;
    directory.bigEndian = header.startsWith("MM");
    const Numbers head(header, directory.bigEndian);
    const std::uint64_t version = head.at(2, 2);
    if (version == bigTiffVersion && header.size() == 16 && head.at(4, 2) == bigTiffOffsetSize && head.at(6, 2) == 0) {
        directory.bigTiff = true;
    } else if (version != classicVersion) {
        return std::nullopt;
    }
    const std::uint64_t start = directory.bigTiff ? head.at(8, 8) : head.at(4, 4);
    const int countSize = directory.bigTiff ? 8 : 2;
    const int entrySize = directory.bigTiff ? 20 : 12;
    const int valueField = directory.bigTiff ? 12 : 8;
    if (start > std::uint64_t(size)) {
        return std::nullopt;
    }
    const QByteArray countBytes = read(std::int64_t(start), countSize);
    const std::uint64_t count = Numbers(countBytes, directory.bigEndian).at(0, countSize);
    if (countBytes.size() < countSize || count > mostEntries) {
        return std::nullopt;
    }
    const std::int64_t first = std::int64_t(start) + countSize;
    const QByteArray table = read(first, std::int64_t(count) * entrySize);
    const Numbers entries(table, directory.bigEndian);
    for (qsizetype at = 0; at + entrySize <= table.size(); at += entrySize) {
        TiffEntry entry;
        entry.tag = std::uint16_t(entries.at(at, 2));
        entry.type = std::uint16_t(entries.at(at + 2, 2));
        entry.count = entries.at(at + 4, directory.bigTiff ? 8 : 4);
        entry.offset = first + at;
        if (const int size = valueSize(entry.type); size != 0 && entry.count == 1) {
            entry.value = std::int64_t(std::min<std::uint64_t>(entries.at(at + valueField, size),
                                                               std::numeric_limits<std::int64_t>::max()));
        }
        directory.entries.push_back(entry);
    }
    return directory;
}

} // namespace

std::optional<TiffDirectory> readTiffFirstDirectory(const MediaFile& file)
{
    return readFirstDirectory([&file](std::int64_t offset, std::int64_t length) { return file.read(offset, length); },
                              file.size());
}

std::optional<TiffDirectory> readTiffFirstDirectory(const QByteArray& bytes)
{
    return readFirstDirectory(
        [&bytes](std::int64_t offset, std::int64_t length) {
            return offset < 0 || offset > bytes.size() ? QByteArray() : bytes.mid(qsizetype(offset), qsizetype(length));
        },
        bytes.size());
}

} // namespace pivra
