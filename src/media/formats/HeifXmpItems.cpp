#include "media/formats/HeifXmpItems.h"

#include <QByteArray>
#include <QtEndian>

#include <optional>

namespace pivra {
namespace {

struct Box {
    std::int64_t start = 0;
    std::int64_t payload = 0; // after the size and type
    std::int64_t end = 0;
    QByteArray type;
};

// The box at `offset`, ending no later than `limit`; nothing for a broken one.
std::optional<Box> boxAt(const MediaFile& file, std::int64_t offset, std::int64_t limit)
{
    const QByteArray header = file.read(offset, 16);
    if (header.size() < 8) {
        return std::nullopt;
    }
    std::uint64_t size = qFromBigEndian<quint32>(header.constData());
    std::int64_t headerSize = 8;
    if (size == 1) {
        if (header.size() < 16) {
            return std::nullopt;
        }
        size = qFromBigEndian<quint64>(header.constData() + 8);
        headerSize = 16;
    }
    if (size < std::uint64_t(headerSize) || size > std::uint64_t(limit - offset)) {
        return std::nullopt;
    }
    return Box{offset, offset + headerSize, offset + std::int64_t(size), header.mid(4, 4)};
}

// exiv2 reads an entry's name as the text from the ninth byte of its payload
// to the first NUL, and takes every entry whose name holds "mime" but not
// "Exif" for XMP.
void addMimeNames(const MediaFile& file, const Box& entry, std::vector<std::int64_t>& names)
{
    constexpr int nameOffset = 8;
    const std::int64_t first = entry.payload + nameOffset;
    if (first >= entry.end) {
        return;
    }
    QByteArray name = file.read(first, entry.end - first);
    name.truncate(name.indexOf('\0') < 0 ? name.size() : name.indexOf('\0'));
    if (name.contains("Exif")) {
        return;
    }
    for (qsizetype at = name.indexOf("mime"); at >= 0; at = name.indexOf("mime", at + 4)) {
        names.push_back(first + at);
    }
}

// The entries of an item information box: a count of 16 bits after its
// version and flags, then the entries, as exiv2 reads them.
void addEntries(const MediaFile& file, const Box& information, std::vector<std::int64_t>& names)
{
    const QByteArray count = file.read(information.payload + 4, 2);
    if (count.size() < 2) {
        return;
    }
    std::int64_t offset = information.payload + 6;
    for (int left = qFromBigEndian<quint16>(count.constData()); left > 0; --left) {
        const std::optional<Box> entry = boxAt(file, offset, information.end);
        if (!entry) {
            return;
        }
        if (entry->type == "infe") {
            addMimeNames(file, *entry, names);
        }
        offset = entry->end;
    }
}

// Every box of [offset, end) of type `type`, each at most once.
template<typename Found>
void forEachBox(const MediaFile& file, std::int64_t offset, std::int64_t end, const char* type, Found found)
{
    constexpr int mostBoxes = 1000;
    for (int count = 0; offset < end && count < mostBoxes; ++count) {
        const std::optional<Box> box = boxAt(file, offset, end);
        if (!box) {
            return;
        }
        if (box->type == type) {
            found(*box);
        }
        offset = box->end;
    }
}

} // namespace

std::vector<std::int64_t> heifXmpItemNames(const MediaFile& file)
{
    std::vector<std::int64_t> names;
    const QByteArray brand = file.read(4, 4);
    if (brand != "ftyp") {
        return names;
    }
    forEachBox(file, 0, file.size(), "meta", [&](const Box& meta) {
        forEachBox(file, meta.payload + 4, meta.end, "iinf",
                   [&](const Box& information) { addEntries(file, information, names); });
    });
    return names;
}

} // namespace pivra
