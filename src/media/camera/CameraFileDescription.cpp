#include "media/camera/CameraFileDescription.h"

#include "catalog/model/Timestamp.h"
#include "media/camera/CameraCatalogItems.h"
#include "media/camera/HeifRangeReads.h"
#include "media/metadata/ImageOrientation.h"
#include "media/metadata/MediaMetadata.h"
#include "media/video/VideoProperties.h"
#include "platform/cameras/CameraTemporaries.h"

#include <QTemporaryFile>
#include <QtEndian>

namespace pivra {
namespace {

// A JPEG's Exif block (at most 64 KiB) and, mostly, its frame header behind it.
constexpr std::int64_t firstHeadBytes = 64 * 1024;
// A head that holds no size by then belongs to a file that has none to give.
constexpr std::int64_t maxHeadBytes = 4 * 1024 * 1024;
// The time stamps at a stream's end that FFmpeg looks for first, twice over.
constexpr std::int64_t tailBytes = 512 * 1024;
// An hour of 60 fps video indexes in a few MiB; more is no index worth
// reading for a description.
constexpr std::int64_t maxIndexBytes = 64 * 1024 * 1024;
constexpr int maxAviChunks = 64;

// A local file of the device file's length holding the bytes read at their
// places, with holes elsewhere, so a reader finds each part where the file
// has it.
class SparseCopy {
public:
    explicit SparseCopy(const CameraFileInfo& file) : copy_(CameraTemporaries::fileTemplate(file.name))
    {
        ok_ = !copy_.fileTemplate().isEmpty() && copy_.open() && copy_.resize(file.knownSize().value_or(0));
    }

    bool put(std::int64_t offset, const QByteArray& bytes)
    {
        ok_ = ok_ && copy_.seek(offset) && copy_.write(bytes) == bytes.size() && copy_.flush();
        return ok_;
    }

    bool ok() const { return ok_; }
    QString path() const { return copy_.fileName(); }

private:
    QTemporaryFile copy_;
    bool ok_ = false;
};

bool isIsoFile(const QByteArray& head) { return head.size() >= 8 && head.sliced(4, 4) == "ftyp"; }

bool isAvi(const QByteArray& head) { return head.size() >= 12 && head.startsWith("RIFF") && head.sliced(8, 4) == "AVI "; }

// Reads `box` when the head does not hold it whole.
void putBox(const std::optional<BoxExtent>& box, const QByteArray& head, const IsoByteReader& read, SparseCopy& copy)
{
    if (!box || box->offset + box->size <= head.size() || box->size > maxIndexBytes) {
        return;
    }
    if (const std::optional<QByteArray> bytes = read(box->offset, box->size); bytes && bytes->size() == box->size) {
        copy.put(box->offset, *bytes);
    }
}

// An AVI's index, "idx1", follows its media data inside the first RIFF list.
std::optional<BoxExtent> findAviIndex(const QByteArray& head, std::int64_t fileSize, const IsoByteReader& read)
{
    const std::int64_t end = std::min<std::int64_t>(fileSize, 8 + std::int64_t(qFromLittleEndian<quint32>(head.data() + 4)));
    std::int64_t offset = 12;
    for (int chunks = 0; chunks < maxAviChunks && offset + 8 <= end; ++chunks) {
        const std::optional<QByteArray> header = offset + 8 <= head.size() ? head.mid(offset, 8) : read(offset, 8);
        if (!header || header->size() < 8) {
            return std::nullopt;
        }
        const std::int64_t size = 8 + std::int64_t(qFromLittleEndian<quint32>(header->data() + 4));
        if (header->startsWith("idx1")) {
            return BoxExtent{offset, std::min(size, fileSize - offset)};
        }
        offset += size + (size & 1); // chunks are padded to an even length
    }
    return std::nullopt;
}

// What a listing's copy needs beyond the head, by format.
bool putIndex(const CameraFileInfo& file, MediaKind kind, const QByteArray& head, const IsoByteReader& read,
              SparseCopy& copy)
{
    const std::optional<std::int64_t> size = file.knownSize();
    if (!size || head.size() >= *size) {
        return true; // the head is the whole file
    }
    if (isIsoFile(head)) {
        if (kind == MediaKind::image) {
            return readHeifMetadata(*size, read, [&copy](std::int64_t offset, const QByteArray& bytes) {
                       return copy.put(offset, bytes);
                   }) ||
                   copy.ok(); // no HEIF: the head decides
        }
        putBox(findMovieIndex(head, *size, read), head, read, copy);
    } else if (kind == MediaKind::video && isAvi(head)) {
        putBox(findAviIndex(head, *size, read), head, read, copy);
    } else if (kind == MediaKind::video) {
        const std::int64_t start = std::max<std::int64_t>(head.size(), *size - tailBytes);
        if (const std::optional<QByteArray> tail = read(start, *size - start)) {
            copy.put(start, *tail);
        }
    }
    return copy.ok();
}

} // namespace

bool describeCameraFile(CameraFileInfo& file, const IsoByteReader& read)
{
    const std::optional<MediaKind> kind = cameraFileKind(file);
    if (!kind) {
        return true;
    }
    SparseCopy copy(file);
    std::int64_t asked = firstHeadBytes;
    std::optional<QByteArray> head = read(0, asked);
    if (!head || !copy.put(0, *head) || !putIndex(file, *kind, *head, read, copy)) {
        return false;
    }
    // Without file-system values the only date inspect() can find is the one
    // the file records.
    MediaItem item = MediaMetadata::inspect(copy.path(), {}, {}, *kind);
    while ((item.width() <= 0 || item.height() <= 0) && head->size() == asked && asked < maxHeadBytes) {
        asked *= 4; // the size lies further in: behind large previews, in the first frames
        head = read(0, asked);
        if (!head || !copy.put(0, *head)) {
            return false;
        }
        item = MediaMetadata::inspect(copy.path(), {}, {}, *kind);
    }
    if (item.width() > 0 && item.height() > 0) {
        file.width = item.width();
        file.height = item.height();
    }
    if (item.captureDate() != distantPast) {
        file.exifCreationDate = item.captureDate();
    }
    if (*kind == MediaKind::image) {
        file.orientation = recordedOrientation(copy.path());
    } else if (item.duration()) {
        const std::optional<VideoProperties> properties = readVideoProperties(copy.path());
        if (properties && !properties->durationGuessed) {
            file.duration = item.duration();
        }
    }
    return true;
}

} // namespace pivra
