#include "media/metadata/ExivImage.h"

#include "media/MediaLibraries.h"
#include "media/metadata/HeifXmpItems.h"

#include <QFile>

// exiv2.hpp leaves the video readers out; their type numbers live here.
#include <exiv2/matroskavideo.hpp>
#include <exiv2/quicktimevideo.hpp>
#include <exiv2/riffvideo.hpp>
#include <exiv2/bmffimage.hpp>

#include <algorithm>
#include <array>

namespace pivra {

namespace {

// ImageType::asf of exiv2 0.27, whose header does not build outside exiv2.
constexpr int asfType = 24;

constexpr std::array videoTypes{Exiv2::ImageType::riff, Exiv2::ImageType::mkv, Exiv2::ImageType::qtime, asfType};

// A file as exiv2 reads it, but with the names of a HEIF's XMP items changed
// (heifXmpItemNames()), so that exiv2 finds no packet to decode under its
// process-wide lock; every other byte, the Exif item's among them, reads as
// it is.
class XmpBlindFile final : public Exiv2::FileIo {
public:
    XmpBlindFile(const std::string& path, std::vector<std::int64_t> names)
        : Exiv2::FileIo(path), names_(std::move(names))
    {
    }

    long read(Exiv2::byte* buffer, long count) override
    {
        const std::int64_t start = tell();
        const long got = Exiv2::FileIo::read(buffer, count);
        for (const std::int64_t name : names_) {
            for (std::int64_t at = std::max(name, start); at < std::min(name + 4, start + got); ++at) {
                buffer[at - start] = Exiv2::byte(hidden[at - name]);
            }
        }
        return got;
    }

    int getb() override
    {
        Exiv2::byte byte = 0;
        return read(&byte, 1) == 1 ? byte : EOF;
    }

private:
    static constexpr char hidden[] = "MIME";
    std::vector<std::int64_t> names_;
};

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
    if (type == Exiv2::ImageType::bmff) {
        if (std::vector<std::int64_t> names = heifXmpItemNames(opened); !names.empty()) {
            file.reset(new XmpBlindFile(path, std::move(names)));
        }
    }
    return std::unique_ptr<Exiv2::Image>(Exiv2::ImageFactory::open(file).release());
}

} // namespace pivra
