#include "media/formats/HeifPrimaryItem.h"

#include "media/formats/IsoBoxes.h"

#include <QHash>
#include <QtEndian>

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

void readDerivations(const MediaFile& file, const IsoBox& box, Items& items)
{
    const FullBox iref = fullBox(file, box);
    const int idSize = iref.version == 0 ? 2 : 4;
    forEachIsoBox(file, box.payload + 4, box.end, "dimg", [&](const IsoBox& reference) {
        const QByteArray body = file.read(reference.payload, std::min(reference.end - reference.payload, largestBoxRead));
        qsizetype at = 0;
        const std::optional<std::uint32_t> from = number(body, at, idSize);
        const std::optional<std::uint32_t> count = number(body, at, 2);
        const std::optional<std::uint32_t> first = number(body, at, idSize);
        if (from && count && *count > 0 && first) {
            items.shownImage.insert(*from, *first);
        }
    });
}

} // namespace

bool heifPrimaryIsGrid(const MediaFile& file)
{
    if (file.read(4, 4) != "ftyp") {
        return false;
    }
    Items items;
    forEachIsoBox(file, 0, file.size(), "meta", [&](const IsoBox& meta) {
        const std::int64_t children = meta.payload + 4;
        forEachIsoBox(file, children, meta.end, "pitm", [&](const IsoBox& box) { readPrimary(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iinf", [&](const IsoBox& box) { readTypes(file, box, items); });
        forEachIsoBox(file, children, meta.end, "iref", [&](const IsoBox& box) { readDerivations(file, box, items); });
    });
    if (!items.primary) {
        return false;
    }
    std::uint32_t shown = *items.primary;
    if (items.types.value(shown) == "iden") {
        shown = items.shownImage.value(shown, shown);
    }
    return items.types.value(shown) == "grid";
}

} // namespace pivra
