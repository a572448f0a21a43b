#include "platform/cameras/MovieHead.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <cstring>

namespace pivra {
namespace {

// A top-level box of `size` bytes, its header included, filled with a byte of
// its own; `wide` writes the size in the 64-bit field.
QByteArray box(const char* type, std::int64_t size, bool wide = false)
{
    QByteArray bytes(qsizetype(size), type[0]);
    qToBigEndian<quint32>(wide ? 1 : quint32(size), bytes.data());
    std::memcpy(bytes.data() + 4, type, 4);
    if (wide) {
        qToBigEndian<quint64>(quint64(size), bytes.data() + 8);
    }
    return bytes;
}

struct Layout {
    const char* name;
    QByteArray file;
    std::int64_t size; // of the movie made
    bool indexAppended = false;
    std::optional<std::int64_t> cutBoxAt; // the box shortened to end where the head does
    bool wide = false;
    std::int64_t readBeyond = 64; // bytes read besides the movie made: box headers, a head read twice
};

TEST(MovieHeadTest, TheHeadBecomesAMovieWithItsIndexAndTheMediaDataItHolds)
{
    const QByteArray ftyp = box("ftyp", 20);
    const QByteArray index = box("moov", 3000);
    const std::int64_t head = movieHeadBytes;
    const std::int64_t media = 2 * head;
    const QByteArray bigIndex = box("moov", head + 1000);
    const std::vector<Layout> layouts{
        {"index first", ftyp + index + box("mdat", media), head},
        {"index behind", ftyp + box("mdat", media) + index, head + index.size(), true, 20},
        {"index behind 64-bit media data", ftyp + box("mdat", media, true) + index, head + index.size(), true, 20,
         true},
        {"header cut by the head", ftyp + box("free", head - 24) + box("mdat", media) + index,
         head - 4 + index.size(), true},
        {"smaller than the head", ftyp + index + box("mdat", 5000), 8020},
        {"index first, larger than the head", ftyp + bigIndex + box("mdat", media), 20 + bigIndex.size() + head,
         false, std::nullopt, false, head},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        std::int64_t bytesRead = 0;
        const std::optional<QByteArray> made =
            readMovieHead(layout.file.size(), [&](std::int64_t offset, std::int64_t length) {
                const QByteArray bytes = layout.file.mid(offset, length);
                bytesRead += bytes.size();
                return std::optional(bytes);
            });
        ASSERT_TRUE(made);
        EXPECT_EQ(made->size(), layout.size);
        EXPECT_LE(bytesRead, layout.size + layout.readBeyond);
        if (!layout.indexAppended) {
            EXPECT_EQ(*made, layout.file.left(layout.size)) << "the file's first bytes as they are";
            continue;
        }
        EXPECT_EQ(made->right(index.size()), index);
        if (layout.cutBoxAt) {
            const uchar* field = reinterpret_cast<const uchar*>(made->constData()) + *layout.cutBoxAt;
            const std::int64_t size =
                layout.wide ? std::int64_t(qFromBigEndian<quint64>(field + 8)) : qFromBigEndian<quint32>(field);
            EXPECT_EQ(*layout.cutBoxAt + size, head) << "the media data ends where the head does";
        }
    }
}

} // namespace
} // namespace pivra
