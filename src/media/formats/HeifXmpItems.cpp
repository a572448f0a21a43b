#include "media/formats/HeifXmpItems.h"

#include "media/formats/IsoBoxes.h"

#include <QByteArray>
#include <QtEndian>

#include <optional>

namespace pivra {
namespace {

// exiv2 reads an entry's name as the text from the ninth byte of its payload
// to the first NUL, and takes every entry whose name holds "mime" but not
// "Exif" for XMP.
void addMimeNames(const MediaFile& file, const IsoBox& entry, std::vector<std::int64_t>& names)
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
void addEntries(const MediaFile& file, const IsoBox& information, std::vector<std::int64_t>& names)
{
    const QByteArray count = file.read(information.payload + 4, 2);
    if (count.size() < 2) {
        return;
    }
    std::int64_t offset = information.payload + 6;
    for (int left = qFromBigEndian<quint16>(count.constData()); left > 0; --left) {
        const std::optional<IsoBox> entry = isoBoxAt(file, offset, information.end);
        if (!entry) {
            return;
        }
        if (entry->type == "infe") {
            addMimeNames(file, *entry, names);
        }
        offset = entry->end;
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
    forEachIsoBox(file, 0, file.size(), "meta", [&](const IsoBox& meta) {
        forEachIsoBox(file, meta.payload + 4, meta.end, "iinf",
                   [&](const IsoBox& information) { addEntries(file, information, names); });
    });
    return names;
}

} // namespace pivra
