#include "media/metadata/ExivImage.h"

#include "media/MediaLibraries.h"

#include <QFile>

// exiv2.hpp leaves the video readers out; their type numbers live here.
#include <exiv2/matroskavideo.hpp>
#include <exiv2/quicktimevideo.hpp>
#include <exiv2/riffvideo.hpp>

#include <algorithm>
#include <array>

namespace pivra {

namespace {

// ImageType::asf of exiv2 0.27, whose header does not build outside exiv2.
constexpr int asfType = 24;

constexpr std::array videoTypes{Exiv2::ImageType::riff, Exiv2::ImageType::mkv, Exiv2::ImageType::qtime, asfType};

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
    Exiv2::BasicIo::AutoPtr file(new Exiv2::FileIo(opened.descriptorPath().toStdString()));
    const int type = Exiv2::ImageFactory::getType(*file);
    if (type == Exiv2::ImageType::none
        || std::find(videoTypes.begin(), videoTypes.end(), type) != videoTypes.end()) {
        return nullptr;
    }
    return std::unique_ptr<Exiv2::Image>(Exiv2::ImageFactory::open(file).release());
}

} // namespace pivra
