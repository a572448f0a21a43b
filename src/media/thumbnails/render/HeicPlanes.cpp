#include "media/thumbnails/render/HeicPlanes.h"

#include "media/MediaFile.h"
#include "media/formats/HeifPrimaryItem.h"
#include "media/thumbnails/render/HeifTransformsHidden.h"

#include <libheif/heif.h>

#include <algorithm>
#include <utility>
#include <limits>
#include <vector>

namespace pivra {
namespace {

using vips::VImage;

int longerSide(const heif_image_handle* handle)
{
    return std::max(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// The smallest of the file's thumbnails of `primary` at least `pixels` on its
// longer side, as libvips' loader takes one, and its item; none when none is.
std::pair<heif_image_handle*, heif_item_id> thumbnailOf(heif_image_handle* primary, int pixels)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) {
        return {};
    }
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    heif_image_handle* chosen = nullptr;
    heif_item_id chosenId = 0;
    for (const heif_item_id id : ids) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &thumbnail).code != heif_error_Ok) {
            continue;
        }
        if (longerSide(thumbnail) >= pixels && (!chosen || longerSide(thumbnail) < longerSide(chosen))) {
            std::swap(chosen, thumbnail);
            chosenId = id;
        }
        if (thumbnail) {
            heif_image_handle_release(thumbnail);
        }
    }
    return {chosen, chosenId};
}

// One plane of `image` as an 8-bit band read in place.
VImage planeOf(heif_image* image, heif_channel channel)
{
    int stride = 0;
    const uint8_t* data = heif_image_get_plane_readonly(image, channel, &stride);
    const int width = heif_image_get_width(image, channel);
    const int height = heif_image_get_height(image, channel);
    const bool wide = heif_image_get_bits_per_pixel(image, channel) > 8;
    const int rowSamples = wide ? stride / 2 : stride;
    VImage plane = VImage::new_from_memory(const_cast<uint8_t*>(data), std::size_t(stride) * std::size_t(height),
                                           rowSamples, height, 1, wide ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    if (rowSamples != width) {
        plane = plane.extract_area(0, 0, width, height);
    }
    if (!wide) {
        return plane;
    }
    // Integer samples shifted, not scaled in floating point, whose buffers
    // took libvips' shrink 60 MB more at once.
    const int bits = std::clamp(heif_image_get_bits_per_pixel_range(image, channel), 9, 16);
    return (plane >> double(bits - 8)).cast(VIPS_FORMAT_UCHAR);
}

} // namespace

void HeicPlanes::HandleRelease::operator()(heif_image_handle* handle) const
{
    heif_image_handle_release(handle);
}

void HeicPlanes::ImageRelease::operator()(heif_image* image) const
{
    heif_image_release(image);
}

HeicPlanes::HeicPlanes(HeifContext context, std::unique_ptr<HeifTransformsHidden> hidden,
                       std::unique_ptr<heif_image_handle, HandleRelease> handle, const HeifCoding& coding)
    : hidden_(std::move(hidden))
    , context_(std::move(context))
    , handle_(std::move(handle))
    , footprint_(decodeFootprint({.loader = "heifload", .heic = coding}))
    , width_(coding.image.width)
    , height_(coding.image.height)
    , orientation_(hidden_ ? coding.orientation : 1)
{
}

HeicPlanes::HeicPlanes(HeicPlanes&&) noexcept = default;
HeicPlanes& HeicPlanes::operator=(HeicPlanes&&) noexcept = default;
HeicPlanes::~HeicPlanes() = default;

std::optional<HeicPlanes> HeicPlanes::open(const QString& path, int pixels)
{
    std::optional<MediaFile> file = MediaFile::open(path);
    std::optional<HeifCoding> coding = file ? readHeifCoding(*file) : std::nullopt;
    if (!coding || !coding->image.hevc) {
        return std::nullopt;
    }
    // Turns and mirrors the caller applies are hidden from libheif, which
    // would otherwise turn the picture into a copy and cannot mirror deep
    // samples of an alpha plane. A file libheif cannot read so is refused
    // rather than decoded with its transforms applied, a copy its budget
    // does not count.
    const bool hide = coding->transformsAsOrientation() && !coding->transformTypeOffsets.isEmpty();
    std::unique_ptr<HeifTransformsHidden> hidden
        = hide ? HeifTransformsHidden::open(*file, coding->transformTypeOffsets) : nullptr;
    if (hide && !hidden) {
        coding->image.picture.reset();
    }
    HeifContext context = hidden ? nullptr : openHeif(*file);
    heif_context* const read = hidden ? hidden->context() : context.get();
    heif_image_handle* primary = nullptr;
    if (!read || heif_context_get_primary_image_handle(read, &primary).code != heif_error_Ok) {
        return std::nullopt;
    }
    std::unique_ptr<heif_image_handle, HandleRelease> handle(primary);
    if (heif_image_handle_has_alpha_channel(primary) != 0 && !coding->alpha) {
        coding->alpha = HeifCoding::Layer{}; // one the boxes do not tell: not decoded
    }
    if (const auto [thumbnail, id] = thumbnailOf(primary, pixels); thumbnail) {
        handle.reset(thumbnail);
        coding = readHeifCoding(hidden ? hidden->file() : *file, id);
        if (!coding) {
            return std::nullopt;
        }
        if (heif_image_handle_has_alpha_channel(thumbnail) != 0 && !coding->alpha) {
            coding->alpha = HeifCoding::Layer{};
        }
    }
    return HeicPlanes(std::move(context), std::move(hidden), std::move(handle), *coding);
}

int HeicPlanes::width() const
{
    return int(std::min<std::int64_t>(width_, std::numeric_limits<int>::max()));
}

int HeicPlanes::height() const
{
    return int(std::min<std::int64_t>(height_, std::numeric_limits<int>::max()));
}

bool HeicPlanes::decode()
{
    // Planes of RGB are what libheif makes of every picture, whatever its
    // depth: asked for them, it hands them over without a further copy.
    heif_image* image = nullptr;
    if (heif_decode_image(handle_.get(), &image, heif_colorspace_RGB, heif_chroma_444, nullptr).code != heif_error_Ok) {
        return false;
    }
    decoded_.reset(image);
    return true;
}

VImage HeicPlanes::image(int pixels) const
{
    heif_image* image = decoded_.get();
    const int longer = std::max(heif_image_get_width(image, heif_channel_R), heif_image_get_height(image, heif_channel_R));
    const int factor = std::max(1, longer / (2 * std::max(pixels, 1)));
    const bool transparent = heif_image_has_channel(image, heif_channel_Alpha) != 0;
    const VImage alpha = transparent ? planeOf(image, heif_channel_Alpha) : VImage();
    std::vector<VImage> bands;
    for (const heif_channel channel : {heif_channel_R, heif_channel_G, heif_channel_B}) {
        VImage plane = planeOf(image, channel);
        if (transparent) { // on white: 255 - (255 - sample) × alpha / 255
            plane = (plane.linear(-1, 255, VImage::option()->set("uchar", true)) * alpha)
                        .linear(-1.0 / 255, 255, VImage::option()->set("uchar", true));
        }
        bands.push_back(factor > 1 ? plane.shrink(factor, factor) : plane);
    }
    VImage rgb = VImage::bandjoin(bands).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle_.get());
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        std::vector<char> icc(heif_image_handle_get_raw_color_profile_size(handle_.get()));
        if (!icc.empty() && heif_image_handle_get_raw_color_profile(handle_.get(), icc.data()).code == heif_error_Ok) {
            vips_image_set_blob_copy(rgb.get_image(), VIPS_META_ICC_NAME, icc.data(), icc.size());
        }
    }
    return rgb;
}

} // namespace pivra
