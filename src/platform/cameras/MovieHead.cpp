#include "platform/cameras/MovieHead.h"

#include <QtEndian>

#include <algorithm>

namespace pivra {
namespace {

// An index larger than this belongs to hours of film; such a poster is not
// worth the read.
constexpr std::int64_t maxIndexBytes = 32 * 1024 * 1024;

// Makes the top-level box that runs past the end of `head` end there, so that
// what `head` is followed by is read as the next box. A box whose header the
// head cuts is left out whole.
void endLastBoxAtEnd(QByteArray& head)
{
    const auto end = std::int64_t(head.size());
    std::int64_t offset = 0;
    while (offset + 8 <= end) {
        auto* const field = reinterpret_cast<uchar*>(head.data() + offset);
        std::int64_t size = qFromBigEndian<quint32>(field);
        const bool wide = size == 1; // a 64-bit size follows the type
        if (wide) {
            if (offset + 16 > end) {
                break;
            }
            size = std::int64_t(std::min<quint64>(qFromBigEndian<quint64>(field + 8), quint64(INT64_MAX)));
        } else if (size == 0) {
            size = INT64_MAX - offset; // to the end of the file
        }
        if (size < (wide ? 16 : 8)) {
            return; // no box: nothing here is the media data's header
        }
        if (size > end - offset) {
            if (wide) {
                qToBigEndian<quint64>(quint64(end - offset), field + 8);
            } else {
                qToBigEndian<quint32>(quint32(end - offset), field);
            }
            return;
        }
        offset += size;
    }
    head.truncate(qsizetype(offset));
}

} // namespace

std::optional<QByteArray> readMovieHead(std::optional<std::int64_t> fileSize, const IsoByteReader& read)
{
    std::optional<QByteArray> head = read(0, movieHeadBytes);
    if (!head || !fileSize || head->size() >= *fileSize) {
        return head;
    }
    const std::optional<BoxExtent> index = findMovieIndex(*head, *fileSize, read);
    if (!index || index->offset + index->size <= head->size() || index->size > maxIndexBytes) {
        return head;
    }
    if (index->offset < head->size()) {
        // The index comes first but does not fit: the head grows past it.
        std::optional<QByteArray> longer = read(0, index->offset + index->size + movieHeadBytes);
        return longer ? longer : head;
    }
    const std::optional<QByteArray> indexBytes = read(index->offset, index->size);
    if (!indexBytes || indexBytes->size() != index->size) {
        return head;
    }
    endLastBoxAtEnd(*head);
    head->append(*indexBytes);
    return head;
}

} // namespace pivra
