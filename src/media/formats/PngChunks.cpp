#include "media/formats/PngChunks.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace pivra {
namespace {

constexpr QByteArrayView signature("\x89PNG\r\n\x1a\n", 8);
constexpr int chunkHeader = 8; // length, type
constexpr int chunkTrailer = 4; // checksum
// The keywords exiv2 takes a text chunk's content for XMP by; it compares
// their beginnings.
constexpr std::array xmpKeywords{QByteArrayView("XML:com.adobe.xmp"), QByteArrayView("Raw profile type xmp")};
constexpr qsizetype longestKeyword = 79;
// A file of more chunks than this is left to exiv2 as it is.
constexpr int mostChunks = 100000;

bool isTextChunk(QByteArrayView type)
{
    return type == "tEXt" || type == "zTXt" || type == "iTXt";
}

// The chunks exiv2 reads; it steps over every other, so they are not read
// at all: an animation's frames (fdAT) alone can be the whole file.
bool isReadByExiv2(QByteArrayView type)
{
    return type == "IHDR" || type == "iCCP" || type == "eXIf" || type == "IEND" || isTextChunk(type);
}

bool holdsXmp(const MediaFile& file, std::int64_t dataOffset, std::uint32_t length)
{
    const QByteArray start = file.read(dataOffset, std::min<std::int64_t>(length, longestKeyword + 1));
    const QByteArrayView keyword = QByteArrayView(start).first(start.indexOf('\0') < 0 ? start.size()
                                                                                        : start.indexOf('\0'));
    return std::any_of(xmpKeywords.begin(), xmpKeywords.end(),
                       [keyword](QByteArrayView xmp) { return keyword.startsWith(xmp); });
}

void appendRange(const MediaFile& file, std::int64_t from, std::int64_t to, QByteArray& chunks)
{
    const qsizetype had = chunks.size();
    chunks.resize(had + qsizetype(to - from));
    const std::int64_t got = std::max<std::int64_t>(file.read(from, chunks.data() + had, to - from), 0);
    chunks.resize(had + qsizetype(got));
}

} // namespace

bool readPngMetadataChunks(const MediaFile& file, QByteArray& chunks)
{
    chunks.resize(0);
    appendRange(file, 0, signature.size(), chunks);
    if (chunks != signature) {
        return false;
    }
    std::int64_t offset = signature.size();
    for (int count = 0; offset < file.size(); ++count) {
        if (count == mostChunks) {
            return false;
        }
        char header[chunkHeader];
        if (file.read(offset, header, chunkHeader) < chunkHeader) {
            appendRange(file, offset, file.size(), chunks); // what exiv2 then finds short, as in the file
            break;
        }
        const std::uint32_t length = qFromBigEndian<quint32>(header);
        const QByteArrayView type(header + 4, 4);
        const std::int64_t end = std::min<std::int64_t>(offset + chunkHeader + std::int64_t(length) + chunkTrailer,
                                                        file.size());
        const bool kept
            = isReadByExiv2(type) && !(isTextChunk(type) && holdsXmp(file, offset + chunkHeader, length));
        if (kept) {
            appendRange(file, offset, end, chunks);
        }
        if (type == "IEND") {
            break;
        }
        offset = end;
    }
    return true;
}

} // namespace pivra
