#include "media/formats/HeifPrimaryItem.h"

#include "media/formats/IsoBoxes.h"

#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QtEndian>

#include <algorithm>
#include <optional>

namespace pivra {
namespace {

// No box these are read from is larger in a camera's file: a grid of a few
// hundred tiles lists a few kilobytes of items and references.
constexpr std::int64_t largestBoxRead = 1 << 20;

// A box's payload after its version and flags, and its version.
struct FullBox {
    int version = 0;
    QByteArray body;
};

FullBox fullBox(const MediaFile& file, const IsoBox& box)
{
    const QByteArray payload = file.read(box.payload, std::min(box.end - box.payload, largestBoxRead));
    return payload.size() < 4 ? FullBox{-1, {}} : FullBox{uchar(payload[0]), payload.mid(4)};
}

// A big-endian number of `size` bytes (2 or 4) at `at`, and `at` moved past it.
std::optional<std::uint32_t> number(const QByteArray& bytes, qsizetype& at, int size)
{
    if (at < 0 || at + size > bytes.size()) {
        return std::nullopt;
    }
    const std::uint32_t value = size == 2 ? qFromBigEndian<quint16>(bytes.constData() + at)
                                          : qFromBigEndian<quint32>(bytes.constData() + at);
    at += size;
    return value;
}

struct Items {
    std::optional<std::uint32_t> primary;
    QHash<std::uint32_t, QByteArray> types;
    QHash<std::uint32_t, std::uint32_t> shownImage; // a derived item's first source ('dimg')
    QMultiHash<std::uint32_t, std::uint32_t> auxiliaries; // an image's auxiliary items ('auxl', to it)
    QList<IsoBox> properties; // 'ipco', in order: associations count from 1
    QHash<std::uint32_t, QList<int>> associations; // an item's properties ('ipma')
};

void readPrimary(const MediaFile& file, const IsoBox& box, Items& items)
{
    const FullBox pitm = fullBox(file, box);
    qsizetype at = 0;
    items.primary = number(pitm.body, at, pitm.version == 0 ? 2 : 4);
}

// Item information entries of version 2 and 3, the ones that carry a type.
void readTypes(const MediaFile& file, const IsoBox& box, Items& items)
{
    const FullBox iinf = fullBox(file, box);
    const int countSize = iinf.version == 0 ? 2 : 4;
    const std::int64_t entries = box.payload + 4 + countSize;
    forEachIsoBox(file, entries, box.end, "infe", [&](const IsoBox& entry) {
        const FullBox infe = fullBox(file, entry);
        if (infe.version < 2) {
            return;
        }
        qsizetype at = 0;
        const std::optional<std::uint32_t> id = number(infe.body, at, infe.version == 2 ? 2 : 4);
        at += 2; // protection index
        if (id && at + 4 <= infe.body.size()) {
            items.types.insert(*id, infe.body.mid(at, 4));
        }
    });
}

// The first item each reference of `type` leads to from its item, given to `found(from, to)`.
template<typename Found>
void readReferences(const MediaFile& file, const IsoBox& box, const char* type, Found found)
{
    const FullBox iref = fullBox(file, box);
    const int idSize = iref.version == 0 ? 2 : 4;
    forEachIsoBox(file, box.payload + 4, box.end, type, [&](const IsoBox& reference) {
        const QByteArray body = file.read(reference.payload, std::min(reference.end - reference.payload, largestBoxRead));
        qsizetype at = 0;
        const std::optional<std::uint32_t> from = number(body, at, idSize);
        const std::optional<std::uint32_t> count = number(body, at, 2);
        const std::optional<std::uint32_t> first = number(body, at, idSize);
        if (from && count && *count > 0 && first) {
            found(*from, *first);
        }
    });
}

void readReferences(const MediaFile& file, const IsoBox& box, Items& items)
{
    readReferences(file, box, "dimg", [&](std::uint32_t from, std::uint32_t to) { items.shownImage.insert(from, to); });
    readReferences(file, box, "auxl", [&](std::uint32_t from, std::uint32_t to) { items.auxiliaries.insert(to, from); });
}

void readPropertyBoxes(const MediaFile& file, const IsoBox& box, Items& items)
{
    constexpr int mostProperties = 1000;
    for (std::int64_t at = box.payload; at < box.end && items.properties.size() < mostProperties;) {
        const std::optional<IsoBox> property = isoBoxAt(file, at, box.end);
        if (!property) {
            return;
        }
        items.properties.append(*property);
        at = property->end;
    }
}

void readAssociations(const MediaFile& file, const IsoBox& box, Items& items)
{
    const QByteArray payload = file.read(box.payload, std::min(box.end - box.payload, largestBoxRead));
    if (payload.size() < 4) {
        return;
    }
    const int version = uchar(payload[0]);
    const bool wideIndexes = (uchar(payload[3]) & 1) != 0;
    const QByteArray body = payload.mid(4);
    qsizetype at = 0;
    const std::uint32_t entries = number(body, at, 4).value_or(0);
    for (std::uint32_t entry = 0; entry < entries && at < body.size(); ++entry) {
        const std::optional<std::uint32_t> id = number(body, at, version < 1 ? 2 : 4);
        if (!id || at >= body.size()) {
            return;
        }
        const int count = uchar(body[at++]);
        QList<int>& indexes = items.associations[*id];
        for (int association = 0; association < count; ++association) {
            if (wideIndexes) {
                const std::optional<std::uint32_t> index = number(body, at, 2);
                if (!index) {
                    return;
                }
                indexes.append(int(*index & 0x7FFF)); // the top bit says whether it is essential
            } else if (at < body.size()) {
                indexes.append(uchar(body[at++]) & 0x7F);
            } else {
                return;
            }
        }
    }
}

// The payload of each property of `item` of type `type`, in the order they apply.
QList<QByteArray> propertiesOf(const MediaFile& file, const Items& items, std::uint32_t item, const char* type)
{
    QList<QByteArray> found;
    for (const int index : items.associations.value(item)) {
        if (index >= 1 && index <= items.properties.size() && items.properties.at(index - 1).type == type) {
            const IsoBox& box = items.properties.at(index - 1);
            found.append(file.read(box.payload, std::min<std::int64_t>(box.end - box.payload, 4096)));
        }
    }
    return found;
}

std::optional<HeifCoding::Picture> pictureOf(const MediaFile& file, const Items& items, std::uint32_t item)
{
    const QList<QByteArray> configurations = propertiesOf(file, items, item, "hvcC");
    const QList<QByteArray> sizes = propertiesOf(file, items, item, "ispe");
    // hvcC: chromaFormat in the 17th byte, bitDepthLumaMinus8 in the 18th;
    // ispe: version and flags, then width and height.
    if (items.types.value(item) != "hvc1" || configurations.isEmpty() || configurations.front().size() < 18
        || sizes.isEmpty()) {
        return std::nullopt;
    }
    qsizetype at = 4;
    const std::optional<std::uint32_t> width = number(sizes.front(), at, 4);
    const std::optional<std::uint32_t> height = number(sizes.front(), at, 4);
    if (!width || !height) {
        return std::nullopt;
    }
    const QByteArray& configuration = configurations.front();
    return HeifCoding::Picture{*width, *height, uchar(configuration[16]) & 3, (uchar(configuration[17]) & 7) + 8};
}

HeifCoding::Layer layerOf(const MediaFile& file, const Items& items, std::uint32_t item)
{
    const bool grid = items.types.value(item) == "grid";
    return {grid, pictureOf(file, items, grid ? items.shownImage.value(item, item) : item)};
}

bool isAlpha(const MediaFile& file, const Items& items, std::uint32_t item)
{
    const QList<QByteArray> types = propertiesOf(file, items, item, "auxC");
    // Version and flags, then the type's name: "urn:mpeg:hevc:2015:auxid:1" and the like.
    const QByteArray name = types.isEmpty() ? QByteArray() : types.front().mid(4).split('\0').front();
    return name.endsWith("auxid:1") || name.endsWith(":alpha");
}

// The transforms of `item`, after those already in `coding`.
void readTransforms(const MediaFile& file, const Items& items, std::uint32_t item, HeifCoding& coding)
{
    for (const QByteArray& turn : propertiesOf(file, items, item, "irot")) {
        coding.quarterTurns = (coding.quarterTurns + (turn.isEmpty() ? 0 : uchar(turn[0]) & 3)) % 4;
    }
    for (const QByteArray& mirror : propertiesOf(file, items, item, "imir")) {
        coding.mirrorAxis = mirror.isEmpty() ? 0 : uchar(mirror[0]) & 1;
    }
    coding.cropped = coding.cropped || !propertiesOf(file, items, item, "clap").isEmpty();
}

} // namespace

bool HeifCoding::transformsAsOrientation() const
{
    return !cropped && !derived && !alpha;
}

int HeifCoding::orientation() const
{
    // libheif turns anticlockwise, then mirrors: axis 0 top to bottom, 1 left
    // to right. Rows: quarter turns; columns: no mirror, axis 0, axis 1.
    constexpr int orientations[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
    return orientations[quarterTurns & 3][mirrorAxis ? 1 + (*mirrorAxis & 1) : 0];
}

std::optional<HeifCoding> readHeifCoding(const MediaFile& file)
{
    if (file.read(4, 4) != "ftyp") {
        return std::nullopt;
    }
    Items items;
    forEachIsoBox(file, 0, file.size(), "meta", [&](const IsoBox& meta) {
        const std::int64_t children = meta.payload + 4;
        forEachIsoBox(file, children, meta.end, "pitm", [&](const IsoBox& box) { readPrimary(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iinf", [&](const IsoBox& box) { readTypes(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iref", [&](const IsoBox& box) { readReferences(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iprp", [&](const IsoBox& iprp) {
            forEachIsoBox(file, iprp.payload, iprp.end, "ipco",
                          [&](const IsoBox& box) { readPropertyBoxes(file, box, items); });
            forEachIsoBox(file, iprp.payload, iprp.end, "ipma",
                          [&](const IsoBox& box) { readAssociations(file, box, items); });
        });
    });
    if (!items.primary || !items.types.contains(*items.primary)) {
        return std::nullopt;
    }
    HeifCoding coding;
    std::uint32_t shown = *items.primary;
    if (items.types.value(shown) == "iden") {
        coding.derived = true;
        shown = items.shownImage.value(shown, shown);
        readTransforms(file, items, shown, coding);
    }
    readTransforms(file, items, *items.primary, coding);
    coding.image = layerOf(file, items, shown);
    for (const std::uint32_t auxiliary : items.auxiliaries.values(shown)) {
        if (isAlpha(file, items, auxiliary)) {
            coding.alpha = layerOf(file, items, auxiliary);
        }
    }
    return coding;
}

} // namespace pivra
