#include "media/metadata/properties/ExivImage.h"

#include "media/MediaLibraries.h"
#include "media/formats/HeifXmpItems.h"
#include "media/formats/TiffXmpTag.h"

#include <QFile>
#include <QtEndian>

// exiv2.hpp leaves the video readers out; their type numbers live here.
#include <exiv2/matroskavideo.hpp>
#include <exiv2/quicktimevideo.hpp>
#include <exiv2/riffvideo.hpp>
#include <exiv2/bmffimage.hpp>

#include <algorithm>
#include <array>

#include <sys/mman.h>

namespace pivra {

namespace {

// ImageType::asf of exiv2 0.27, whose header does not build outside exiv2.
constexpr int asfType = 24;

constexpr std::array videoTypes{Exiv2::ImageType::riff, Exiv2::ImageType::mkv, Exiv2::ImageType::qtime, asfType};

// Bytes of a file that exiv2 is shown changed.
struct Hidden {
    std::int64_t offset = 0;
    QByteArray bytes;
};

// A file as exiv2 reads it, but with the few bytes changed that lead it to
// an XMP packet (the names of a HEIF's XMP items, the tag number of a TIFF's
// XMP entry), so that it finds no packet to decode under its process-wide
// lock; every other byte, the Exif's among them, reads as it is. exiv2 reads
// some formats through read() and maps TIFF-based ones whole: the map is a
// private one, whose changed page alone is copied.
class XmpBlindFile final : public Exiv2::FileIo {
public:
    XmpBlindFile(const MediaFile& file, const std::string& path, std::vector<Hidden> hidden)
        : Exiv2::FileIo(path), descriptor_(file.descriptor()), hidden_(std::move(hidden))
    {
    }

    ~XmpBlindFile() override { unmapOwn(); }

    long read(Exiv2::byte* buffer, long count) override
    {
        const std::int64_t start = tell();
        const long got = Exiv2::FileIo::read(buffer, count);
        hide(buffer, start, got);
        return got;
    }

    int getb() override
    {
        Exiv2::byte byte = 0;
        return read(&byte, 1) == 1 ? byte : EOF;
    }

    Exiv2::byte* mmap(bool writeable) override
    {
        if (writeable) {
            throw Exiv2::Error(Exiv2::kerCallFailed, path(), "read only", "mmap");
        }
        unmapOwn();
        const std::size_t length = size();
        if (length == 0) {
            return nullptr;
        }
        void* mapped = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE, descriptor_, 0);
        if (mapped == MAP_FAILED) {
            throw Exiv2::Error(Exiv2::kerCallFailed, path(), "cannot map", "mmap");
        }
        mapped_ = static_cast<Exiv2::byte*>(mapped);
        mappedLength_ = length;
        hide(mapped_, 0, long(length));
        return mapped_;
    }

    int munmap() override
    {
        unmapOwn();
        return Exiv2::FileIo::munmap();
    }

private:
    void hide(Exiv2::byte* buffer, std::int64_t start, long count) const
    {
        for (const Hidden& hidden : hidden_) {
            const std::int64_t end = hidden.offset + hidden.bytes.size();
            for (std::int64_t at = std::max(hidden.offset, start); at < std::min(end, start + count); ++at) {
                buffer[at - start] = Exiv2::byte(hidden.bytes[qsizetype(at - hidden.offset)]);
            }
        }
    }

    void unmapOwn()
    {
        if (mapped_ != nullptr) {
            ::munmap(mapped_, mappedLength_);
            mapped_ = nullptr;
        }
    }

    int descriptor_;
    std::vector<Hidden> hidden_;
    Exiv2::byte* mapped_ = nullptr;
    std::size_t mappedLength_ = 0;
};

// What exiv2 must be shown changed in `file`, of exiv2 type `type`.
std::vector<Hidden> xmpPointers(const MediaFile& file, int type)
{
    std::vector<Hidden> hidden;
    if (type == Exiv2::ImageType::bmff) {
        for (const std::int64_t name : heifXmpItemNames(file)) {
            hidden.push_back({name, QByteArrayLiteral("MIME")});
        }
    } else if (const std::optional<TiffTagNumber> tag = tiffXmpTag(file)) {
        QByteArray number(2, Qt::Uninitialized);
        if (tag->bigEndian) {
            qToBigEndian<quint16>(tiffUnknownTag, number.data());
        } else {
            qToLittleEndian<quint16>(tiffUnknownTag, number.data());
        }
        hidden.push_back({tag->offset, number});
    }
    return hidden;
}

} // namespace

ExivImage openExivImage(const QString& path)
{
    std::optional<MediaFile> file = MediaFile::open(path);
    if (!file) {
        return {};
    }
    return openExivImage(std::move(*file));
}

ExivImage openExivImage(MediaFile opening)
{
    ExivImage opened{std::move(opening), nullptr};
    opened.image = exivImageOf(*opened.file);
    return opened;
}

std::unique_ptr<Exiv2::Image> exivImageOf(const MediaFile& opened)
{
    initializeMediaLibraries();
    const std::string path = opened.descriptorPath().toStdString();
    Exiv2::BasicIo::AutoPtr file(new Exiv2::FileIo(path));
    const int type = Exiv2::ImageFactory::getType(*file);
    if (type == Exiv2::ImageType::none
        || std::find(videoTypes.begin(), videoTypes.end(), type) != videoTypes.end()) {
        return nullptr;
    }
    if (std::vector<Hidden> hidden = xmpPointers(opened, type); !hidden.empty()) {
        file.reset(new XmpBlindFile(opened, path, std::move(hidden)));
    }
    return std::unique_ptr<Exiv2::Image>(Exiv2::ImageFactory::open(file).release());
}

} // namespace pivra
