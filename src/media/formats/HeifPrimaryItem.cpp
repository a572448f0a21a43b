#include "media/formats/HeifPrimaryItem.h"

#include "media/formats/HeifItemData.h"
#include "media/formats/IsoBoxes.h"
#include "media/formats/coding/Av1Configuration.h"
#include "media/formats/coding/HevcConfiguration.h"

#include <QHash>
#include <QList>
#include <QMultiHash>
#include <QtEndian>

#include <algorithm>
#include <optional>
#include <tuple>

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

FullBox fullBox(const IsoFileHead& file, const IsoBox& box)
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
    QHash<std::uint32_t, QList<std::uint32_t>> sources; // a derived item's sources, in order ('dimg')
    QMultiHash<std::uint32_t, std::uint32_t> auxiliaries; // an image's auxiliary items ('auxl', to it)
    QList<IsoBox> properties; // 'ipco', in order: associations count from 1
    QHash<std::uint32_t, QList<int>> associations; // an item's properties ('ipma'), in order
    std::optional<HeifItemLocations> locations;
};

void readPrimary(const IsoFileHead& file, const IsoBox& box, Items& items)
{
    const FullBox pitm = fullBox(file, box);
    qsizetype at = 0;
    items.primary = number(pitm.body, at, pitm.version == 0 ? 2 : 4);
}

// Item information entries of version 2 and 3, the ones that carry a type.
void readTypes(const IsoFileHead& file, const IsoBox& box, Items& items)
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

// The items each reference of `type` leads to from its item, given to `found(from, to)`.
template<typename Found>
void readReferences(const IsoFileHead& file, const IsoBox& box, const char* type, Found found)
{
    const FullBox iref = fullBox(file, box);
    const int idSize = iref.version == 0 ? 2 : 4;
    forEachIsoBox(file, box.payload + 4, box.end, type, [&](const IsoBox& reference) {
        const QByteArray body = file.read(reference.payload, std::min(reference.end - reference.payload, largestBoxRead));
        qsizetype at = 0;
        const std::optional<std::uint32_t> from = number(body, at, idSize);
        const std::optional<std::uint32_t> count = number(body, at, 2);
        QList<std::uint32_t> to;
        for (std::uint32_t index = 0; from && count && index < *count; ++index) {
            const std::optional<std::uint32_t> id = number(body, at, idSize);
            if (!id) {
                return;
            }
            to.append(*id);
        }
        if (!to.isEmpty()) {
            found(*from, to);
        }
    });
}

void readReferences(const IsoFileHead& file, const IsoBox& box, Items& items)
{
    readReferences(file, box, "dimg", [&](std::uint32_t from, const QList<std::uint32_t>& to) {
        items.sources.insert(from, to);
    });
    readReferences(file, box, "auxl", [&](std::uint32_t from, const QList<std::uint32_t>& to) {
        items.auxiliaries.insert(to.front(), from);
    });
}

void readPropertyBoxes(const IsoFileHead& file, const IsoBox& box, Items& items, HeifCoding& coding)
{
    constexpr int mostProperties = 1000;
    for (std::int64_t at = box.payload; at < box.end && items.properties.size() < mostProperties;) {
        const std::optional<IsoBox> property = isoBoxAt(file, at, box.end);
        if (!property) {
            return;
        }
        items.properties.append(*property);
        if (property->type == "irot" || property->type == "imir") {
            coding.transformTypeOffsets.append(property->payload - 4);
        }
        at = property->end;
    }
}

void readAssociations(const IsoFileHead& file, const IsoBox& box, Items& items)
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

// The property boxes of `item`, in the order they apply.
QList<IsoBox> propertyBoxesOf(const Items& items, std::uint32_t item)
{
    QList<IsoBox> boxes;
    for (const int index : items.associations.value(item)) {
        if (index >= 1 && index <= items.properties.size()) {
            boxes.append(items.properties.at(index - 1));
        }
    }
    return boxes;
}

QByteArray payloadOf(const IsoFileHead& file, const IsoBox& box)
{
    return file.read(box.payload, std::min<std::int64_t>(box.end - box.payload, 4096));
}

// The payload of each property of `item` of type `type`, in the order they apply.
QList<QByteArray> propertiesOf(const IsoFileHead& file, const Items& items, std::uint32_t item, const char* type)
{
    QList<QByteArray> found;
    for (const IsoBox& box : propertyBoxesOf(items, item)) {
        if (box.type == type) {
            found.append(payloadOf(file, box));
        }
    }
    return found;
}

// The larger of `size` and the pictures of the sequence parameter sets
// among the item's own data, which the decoder takes after the record's;
// none when its units are not told, or one crosses from one stretch of the
// data into the next.
std::optional<HevcPictureSize> withSetsInData(const IsoFileHead& file, const Items& items, std::uint32_t item,
                                              int lengthSize, HevcPictureSize size)
{
    constexpr int mostUnits = 10000;
    const auto extents = items.locations ? items.locations->extentsOf(item) : std::nullopt;
    if (!extents) {
        return std::nullopt;
    }
    int units = 0;
    for (const HeifItemLocations::Extent& extent : *extents) {
        for (std::int64_t at = extent.start; at < extent.end; ++units) {
            const QByteArray header = file.read(at, lengthSize + 2);
            if (units >= mostUnits || header.size() < lengthSize + 2) {
                return std::nullopt;
            }
            std::int64_t length = 0;
            for (int byte = 0; byte < lengthSize; ++byte) {
                length = length << 8 | uchar(header[byte]);
            }
            const std::int64_t start = at + lengthSize;
            if (length > extent.end - start) {
                return std::nullopt;
            }
            if (isHevcSequenceParameterSet(QByteArrayView(header).sliced(lengthSize))) {
                const std::optional<HevcPictureSize> inData
                    = hevcSequencePictureSize(file.read(start, std::min<std::int64_t>(length, 4096)));
                if (!inData) {
                    return std::nullopt;
                }
                if (inData->codedWidth * inData->codedHeight > size.codedWidth * size.codedHeight) {
                    size = *inData;
                }
            }
            at = start + length;
        }
    }
    return size;
}

// A coded picture and the size of the image it gives.
struct CodedPicture {
    HeifCoding::Picture picture;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The picture of an HEVC item as its configuration codes it: the size from
// its parameter sets; chromaFormat in the record's 17th byte,
// bitDepthLumaMinus8 in its 18th.
std::optional<CodedPicture> hevcPictureOf(const IsoFileHead& file, const Items& items, std::uint32_t item)
{
    const QList<QByteArray> configurations = propertiesOf(file, items, item, "hvcC");
    if (configurations.isEmpty() || configurations.front().size() < 23) {
        return std::nullopt;
    }
    const QByteArray& configuration = configurations.front();
    const std::optional<HevcPictureSize> inRecord = hevcPictureSize(configuration);
    const std::optional<HevcPictureSize> size
        = inRecord ? withSetsInData(file, items, item, *hevcUnitLengthSize(configuration), *inRecord) : std::nullopt;
    if (!size) {
        return std::nullopt;
    }
    return CodedPicture{{size->codedWidth, size->codedHeight, uchar(configuration[16]) & 3,
                         (uchar(configuration[17]) & 7) + 8},
                        size->width,
                        size->height};
}

// The picture of an AV1 item (AVIF): the larger of the sizes of the sequence
// headers in its configuration and at the start of its data, where the
// decoder finds one when the configuration carries none; the samples as the
// configuration gives them.
std::optional<CodedPicture> av1PictureOf(const IsoFileHead& file, const Items& items, std::uint32_t item)
{
    const QList<QByteArray> configurations = propertiesOf(file, items, item, "av1C");
    const std::optional<Av1Samples> samples
        = configurations.isEmpty() ? std::nullopt : av1Samples(configurations.front());
    if (!samples) {
        return std::nullopt;
    }
    std::optional<Av1PictureSize> size = av1PictureSize(av1ConfigurationObus(configurations.front()));
    const QByteArray data = items.locations ? items.locations->read(file, item, 4096) : QByteArray();
    const std::optional<Av1PictureSize> inData = av1PictureSize(data);
    if (inData && (!size || inData->width * inData->height > size->width * size->height)) {
        size = inData;
    }
    if (!size) {
        return std::nullopt;
    }
    return CodedPicture{{size->width, size->height, samples->chromaFormat, samples->bitDepth}, size->width,
                        size->height};
}

std::optional<CodedPicture> pictureOf(const IsoFileHead& file, const Items& items, std::uint32_t item)
{
    const QByteArray type = items.types.value(item);
    return type == "hvc1" ? hevcPictureOf(file, items, item)
           : type == "av01" ? av1PictureOf(file, items, item)
                            : std::nullopt;
}

// The canvas a grid item's data states: version, flags, rows and columns
// less one, then its width and height, of 32 bits when the flags say so.
std::optional<std::pair<std::int64_t, std::int64_t>> gridCanvas(const IsoFileHead& file, const Items& items,
                                                                std::uint32_t item)
{
    const QByteArray data = items.locations ? items.locations->read(file, item, 12) : QByteArray();
    if (data.size() < 8) {
        return std::nullopt;
    }
    qsizetype at = 4;
    const int size = (uchar(data[1]) & 1) != 0 ? 4 : 2;
    const std::optional<std::uint32_t> width = number(data, at, size);
    const std::optional<std::uint32_t> height = number(data, at, size);
    if (!width || !height) {
        return std::nullopt;
    }
    return std::pair<std::int64_t, std::int64_t>(*width, *height);
}

// A grid's tiles: HEVC, or AV1, when every one is; its picture the largest of theirs.
HeifCoding::Layer gridOf(const IsoFileHead& file, const Items& items, std::uint32_t item)
{
    HeifCoding::Layer layer{.hevc = true, .grid = true, .av1 = true};
    bool told = true;
    for (const std::uint32_t tile : items.sources.value(item)) {
        layer.hevc = layer.hevc && items.types.value(tile) == "hvc1";
        layer.av1 = layer.av1 && items.types.value(tile) == "av01";
        const auto coded = pictureOf(file, items, tile);
        told = told && coded;
        if (coded && (!layer.picture || coded->picture.codedWidth * coded->picture.codedHeight
                                            > layer.picture->codedWidth * layer.picture->codedHeight)) {
            layer.picture = coded->picture;
        }
    }
    const auto canvas = gridCanvas(file, items, item);
    if (!told || !canvas || items.sources.value(item).isEmpty()) {
        layer.picture.reset();
        return layer;
    }
    std::tie(layer.width, layer.height) = *canvas;
    return layer;
}

HeifCoding::Layer layerOf(const IsoFileHead& file, const Items& items, std::uint32_t item)
{
    if (items.types.value(item) == "grid") {
        return gridOf(file, items, item);
    }
    HeifCoding::Layer layer{.hevc = items.types.value(item) == "hvc1", .av1 = items.types.value(item) == "av01"};
    if (const auto coded = pictureOf(file, items, item)) {
        layer.picture = coded->picture;
        layer.width = coded->width;
        layer.height = coded->height;
    }
    return layer;
}

bool isAlpha(const IsoFileHead& file, const Items& items, std::uint32_t item)
{
    const QList<QByteArray> types = propertiesOf(file, items, item, "auxC");
    // Version and flags, then the type's name: "urn:mpeg:hevc:2015:auxid:1" and the like.
    const QByteArray name = types.isEmpty() ? QByteArray() : types.front().mid(4).split('\0').front();
    return name.endsWith("auxid:1") || name.endsWith(":alpha");
}

// A turn and a mirror as one: `mirrored` (left to right) first, then
// `turns` anticlockwise.
struct Transform {
    bool mirrored = false;
    int turns = 0;

    void turn(int quarters) { turns = (turns + quarters) & 3; }
    // libheif's axis 0 mirrors top to bottom, axis 1 left to right. A mirror
    // after a turn is the turn undone after the mirror: left to right, then
    // back by the turn; top to bottom is left to right and half a turn.
    void mirror(int axis)
    {
        mirrored = !mirrored;
        turns = ((axis == 0 ? 2 : 0) - turns) & 3;
    }
    int orientation() const
    {
        constexpr int orientations[2][4] = {{1, 8, 3, 6}, {2, 5, 4, 7}};
        return orientations[mirrored ? 1 : 0][turns];
    }
};

// The transforms of `item`, in the order it lists them, after those already in `transform`.
void readTransforms(const IsoFileHead& file, const Items& items, std::uint32_t item, Transform& transform,
                    HeifCoding& coding)
{
    for (const IsoBox& box : propertyBoxesOf(items, item)) {
        if (box.type == "irot") {
            const QByteArray turn = payloadOf(file, box);
            const int quarters = turn.isEmpty() ? 0 : uchar(turn[0]) & 3;
            transform.turn(quarters);
            coding.turned = coding.turned || quarters != 0;
        } else if (box.type == "imir") {
            const QByteArray mirror = payloadOf(file, box);
            transform.mirror(mirror.isEmpty() ? 0 : uchar(mirror[0]) & 1);
        } else if (box.type == "clap") {
            coding.cropped = true;
        }
    }
    coding.orientation = transform.orientation();
}

} // namespace

bool HeifCoding::transformsAsOrientation() const
{
    return !cropped && !derived;
}

std::optional<std::pair<std::int64_t, std::int64_t>> HeifCoding::shownSize() const
{
    if (cropped || image.width <= 0 || image.height <= 0) {
        return std::nullopt;
    }
    return orientation >= 5 ? std::pair(image.height, image.width) : std::pair(image.width, image.height);
}

std::optional<HeifCoding> readHeifCoding(const MediaFile& opened, std::optional<std::uint32_t> item)
{
    // Enough for the boxes of a grid of a few hundred tiles, at the start of the file as cameras write them.
    constexpr std::int64_t headLength = 64 << 10;
    const IsoFileHead file(opened, headLength);
    if (file.read(4, 4) != "ftyp") {
        return std::nullopt;
    }
    Items items;
    HeifCoding coding;
    forEachIsoBox(file, 0, file.size(), "meta", [&](const IsoBox& meta) {
        items.locations.emplace(file, meta);
        const std::int64_t children = meta.payload + 4;
        forEachIsoBox(file, children, meta.end, "pitm", [&](const IsoBox& box) { readPrimary(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iinf", [&](const IsoBox& box) { readTypes(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iref", [&](const IsoBox& box) { readReferences(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iprp", [&](const IsoBox& iprp) {
            forEachIsoBox(file, iprp.payload, iprp.end, "ipco",
                          [&](const IsoBox& box) { readPropertyBoxes(file, box, items, coding); });
            forEachIsoBox(file, iprp.payload, iprp.end, "ipma",
                          [&](const IsoBox& box) { readAssociations(file, box, items); });
        });
    });
    const std::optional<std::uint32_t> chosen = item ? item : items.primary;
    if (!chosen || !items.types.contains(*chosen)) {
        return std::nullopt;
    }
    std::uint32_t shown = *chosen;
    Transform transform;
    if (items.types.value(shown) == "iden") {
        coding.derived = true;
        shown = items.sources.value(shown, {shown}).front();
        readTransforms(file, items, shown, transform, coding);
    }
    readTransforms(file, items, *chosen, transform, coding);
    coding.image = layerOf(file, items, shown);
    for (const std::uint32_t auxiliary : items.auxiliaries.values(shown)) {
        if (isAlpha(file, items, auxiliary)) {
            coding.alpha = layerOf(file, items, auxiliary);
        }
    }
    return coding;
}

} // namespace pivra
