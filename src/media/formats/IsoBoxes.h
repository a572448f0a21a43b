#pragma once

#include "media/MediaFile.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace pivra {

// One box of an ISO base media file (HEIF, MP4): where it starts, where its
// payload (after the size and type) begins and where it ends.
struct IsoBox {
    std::int64_t start = 0;
    std::int64_t payload = 0;
    std::int64_t end = 0;
    QByteArray type;
};

// The box at `offset`, ending no later than `limit`; nothing for a broken one.
std::optional<IsoBox> isoBoxAt(const MediaFile& file, std::int64_t offset, std::int64_t limit);

// Calls `found` with every box of [offset, end) of type `type`, each once, up
// to a thousand boxes, as far as the boxes are whole.
template<typename Found>
void forEachIsoBox(const MediaFile& file, std::int64_t offset, std::int64_t end, const char* type, Found found)
{
    constexpr int mostBoxes = 1000;
    for (int count = 0; offset < end && count < mostBoxes; ++count) {
        const std::optional<IsoBox> box = isoBoxAt(file, offset, end);
        if (!box) {
            return;
        }
        if (box->type == type) {
            found(*box);
        }
        offset = box->end;
    }
}

} // namespace pivra
