#pragma once

#include "media/MediaFile.h"

#include <QByteArray>
#include <QtEndian>

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

// A file's first bytes, read at once, and the file beyond them: the boxes
// that describe a HEIF's items lie at its start and are read in many small
// pieces, each of which would otherwise be a read of the file.
class IsoFileHead {
public:
    IsoFileHead(const MediaFile& file, std::int64_t length) : file_(file), head_(file.read(0, length)) {}

    std::int64_t size() const { return file_.size(); }
    // As MediaFile::read.
    QByteArray read(std::int64_t offset, std::int64_t length) const
    {
        if (offset >= 0 && length >= 0 && offset <= head_.size() && length <= head_.size() - offset) {
            return head_.mid(offset, length);
        }
        return file_.read(offset, length);
    }

private:
    const MediaFile& file_;
    const QByteArray head_;
};

// The box at `offset`, ending no later than `limit`; nothing for a broken
// one. `Source`: a MediaFile or an IsoFileHead.
template<typename Source>
std::optional<IsoBox> isoBoxAt(const Source& file, std::int64_t offset, std::int64_t limit)
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
    return IsoBox{offset, offset + headerSize, offset + std::int64_t(size), header.mid(4, 4)};
}

// Calls `found` with every box of [offset, end) of type `type`, each once, up
// to a thousand boxes, as far as the boxes are whole.
template<typename Source, typename Found>
void forEachIsoBox(const Source& file, std::int64_t offset, std::int64_t end, const char* type, Found found)
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
