#include "media/thumbnails/render/JpegPixels.h"

#include "media/MediaFile.h"
#include "media/formats/PixelHeader.h"
#include "media/formats/TiffDirectory.h"
#include "media/thumbnails/render/DecodeBudget.h"
#include "media/thumbnails/render/ThumbnailScaling.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE declared first
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <jpeglib.h>

extern "C" {
#include <libswscale/swscale.h>
}

namespace pivra {
namespace {

// libjpeg's own error handler ends the process; this one jumps back to the
// decoding call instead. The manager comes first, so that libjpeg's pointer
// to it is a pointer to the whole.
struct JumpingErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JumpingErrors*>(info->err)->back, 1);
}

// A damaged file decodes as far as it goes, as Qt's reader would; its
// warnings are not printed.
void stayQuiet(j_common_ptr) {}

// Planes of a picture as libjpeg decodes them, in full-range BT.601 YCbCr
// (JFIF's) or grey.
struct PlanarPicture {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    QSize size; // the luma plane's, the picture's
    std::array<std::vector<std::uint8_t>, 3> data;
    std::array<int, 3> strides{};

    PictureScaler::Picture picture() const
    {
        PictureScaler::Picture picture;
        for (std::size_t c = 0; c < data.size(); ++c) {
            picture.planes[c] = data[c].empty() ? nullptr : data[c].data();
            picture.strides[c] = strides[c];
        }
        picture.size = size;
        picture.format = format;
        picture.matrix = SWS_CS_ITU601;
        picture.fullRange = true;
        return picture;
    }
};

// What one decode asks for beyond the pixels, and what it holds and finds.
struct Request {
    std::function<void(jpeg_decompress_struct&)> attachSource;
    int longerSide = 0;  // the least longer side a scaled decode keeps; 0: the whole size
    bool photo = false;  // an original: its profile and orientation read
    DecodeUrgency urgency = DecodeUrgency::background;
    int mostSide = 0;    // the longest side a frame may declare; 0: any a photo may
    DecodeBudget::Share share;
    QByteArray iccProfile;
    int orientation = 1;
    bool refused = false;
    bool headerRead = false;
    bool stopped = false; // by an error after the header
    bool decoded = false; // something of the picture, in rows or planes
    // A photo's planes as libjpeg holds them before it upsamples and
    // converts them, when they are a layout libswscale takes: it shrinks and
    // converts them in one pass, where the rows libjpeg makes are only
    // shrunk afterwards. No format: rows (a JPEG of another layout).
    PlanarPicture planes;
};

// The rows of each part libjpeg hands over at once are at most a component's
// two rows of blocks of eight.
constexpr int mostRowsAtOnce = 16;

// The layout libswscale takes the planes of a YCbCr or grey JPEG in, after
// scaling (which may decode the chroma at a larger scale than the luma
// rather than upsample it); none for any other.
AVPixelFormat planarFormat(const jpeg_decompress_struct& info)
{
    if (info.jpeg_color_space == JCS_GRAYSCALE && info.num_components == 1) {
        return info.comp_info[0].v_samp_factor * info.comp_info[0].DCT_scaled_size <= mostRowsAtOnce
                   ? AV_PIX_FMT_GRAY8
                   : AV_PIX_FMT_NONE;
    }
    if (info.jpeg_color_space != JCS_YCbCr || info.num_components != 3) {
        return AV_PIX_FMT_NONE;
    }
    const auto across = [&info](int c) { return info.comp_info[c].h_samp_factor * info.comp_info[c].DCT_scaled_size; };
    const auto down = [&info](int c) { return info.comp_info[c].v_samp_factor * info.comp_info[c].DCT_scaled_size; };
    if (across(1) != across(2) || down(1) != down(2) || down(0) > mostRowsAtOnce || down(1) > mostRowsAtOnce) {
        return AV_PIX_FMT_NONE;
    }
    const int wide = across(0) / across(1);
    const int tall = down(0) / down(1);
    if (wide * across(1) != across(0) || tall * down(1) != down(0)) {
        return AV_PIX_FMT_NONE;
    }
    switch (wide * 10 + tall) {
    case 11:
        return AV_PIX_FMT_YUV444P;
    case 21:
        return AV_PIX_FMT_YUV422P;
    case 22:
        return AV_PIX_FMT_YUV420P;
    case 12:
        return AV_PIX_FMT_YUV440P;
    default:
        return AV_PIX_FMT_NONE;
    }
}

// Decodes into `planes`, each first filled with mid grey (128 in luma and
// chroma alike), so that rows a damaged file never reaches show grey.
bool decodePlanes(jpeg_decompress_struct& info, PlanarPicture& planes)
{
    info.raw_data_out = TRUE;
    jpeg_start_decompress(&info);
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const int rows = int(info.total_iMCU_rows) * component.v_samp_factor * component.DCT_scaled_size;
        planes.strides[std::size_t(c)] = int(component.width_in_blocks) * component.DCT_scaled_size;
        planes.data[std::size_t(c)].assign(std::size_t(planes.strides[std::size_t(c)]) * std::size_t(rows), 128);
    }
    planes.size = QSize(int(info.output_width), int(info.output_height));
    JSAMPROW rows[3][mostRowsAtOnce];
    JSAMPARRAY parts[3] = {rows[0], rows[1], rows[2]};
    const JDIMENSION rowsAtOnce = JDIMENSION(info.max_v_samp_factor * info.min_DCT_scaled_size);
    while (info.output_scanline < info.output_height) {
        const JDIMENSION band = info.output_scanline / rowsAtOnce;
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info& component = info.comp_info[c];
            const int partRows = component.v_samp_factor * component.DCT_scaled_size;
            for (int row = 0; row < partRows; ++row) {
                rows[c][row] = planes.data[std::size_t(c)].data()
                               + std::size_t(planes.strides[std::size_t(c)]) * (band * JDIMENSION(partRows) + JDIMENSION(row));
            }
        }
        jpeg_read_raw_data(&info, parts, rowsAtOnce);
    }
    jpeg_finish_decompress(&info);
    return true;
}

// The IFD0 orientation of the first Exif segment, 1 when there is none or it
// is out of range.
int exifOrientation(const jpeg_decompress_struct& info)
{
    constexpr std::uint16_t orientationTag = 0x0112;
    static const QByteArray exifHeader("Exif\0\0", 6);
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(marker->data),
                                                        qsizetype(marker->data_length));
        if (marker->marker != JPEG_APP0 + 1 || !data.startsWith(exifHeader)) {
            continue;
        }
        const std::optional<TiffDirectory> directory = readTiffFirstDirectory(data.sliced(exifHeader.size()));
        const TiffEntry* const entry = directory ? directory->find(orientationTag) : nullptr;
        const std::int64_t value = entry ? entry->value.value_or(1) : 1;
        return value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

// Scales the decode down by the largest of libjpeg's steps that keeps the
// longer side at least `longerSide` (or whole, for an image smaller).
void scaleFor(jpeg_decompress_struct& info, int longerSide)
{
    const auto longerOf = [&info] { return std::max(info.output_width, info.output_height); };
    info.scale_num = 1;
    jpeg_calc_output_dimensions(&info);
    const unsigned wanted = std::min(unsigned(longerSide), longerOf());
    for (const unsigned denominator : {8U, 4U, 2U, 1U}) {
        info.scale_denom = denominator;
        jpeg_calc_output_dimensions(&info);
        if (longerOf() >= wanted) {
            return;
        }
    }
}

// What the decode holds: the picture, and for a file of several scans (a
// progressive one) the coefficients of the whole image, two bytes each.
DecodeFootprint footprintOf(jpeg_decompress_struct& info)
{
    std::int64_t bytes = std::int64_t(info.output_width) * info.output_height * info.out_color_components;
    if (jpeg_has_multiple_scans(&info)) {
        bytes += std::int64_t(info.image_width) * info.image_height * info.num_components * 2;
    }
    return DecodeFootprint{bytes};
}

// After an error the rows already decoded stay, the rest mid grey; an error
// before the first row leaves nothing.
bool keepDecodedRows(const jpeg_decompress_struct& info, QImage& image)
{
    if (image.isNull() || info.output_scanline == 0) {
        image = {};
        return false;
    }
    for (int y = int(info.output_scanline); y < image.height(); ++y) {
        std::memset(image.scanLine(y), 128, std::size_t(image.bytesPerLine()));
    }
    return true;
}

// The decoding itself. Everything it changes lives in the caller's frame and
// it has no object of its own to destroy, so a jump back out of libjpeg
// leaves nothing undone or indeterminate.
bool decodeInto(jpeg_decompress_struct& info, JumpingErrors& errors, Request& request, QImage& image)
{
    if (setjmp(errors.back) != 0) {
        request.stopped = request.headerRead;
        if (request.planes.format != AV_PIX_FMT_NONE) {
            return info.output_scanline > 0;
        }
        return keepDecodedRows(info, image);
    }
    jpeg_create_decompress(&info);
    request.attachSource(info);
    // Beyond the budget libjpeg fails rather than allocates.
    info.mem->max_memory_to_use = long(largestDecodeBytes);
    if (request.photo) {
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    }
    jpeg_read_header(&info, TRUE);
    request.headerRead = true;
    if (declaresTooManyPixels(info.image_width, info.image_height)
        || (request.mostSide > 0 && std::max(info.image_width, info.image_height) > JDIMENSION(request.mostSide))) {
        request.refused = true;
        return false;
    }
    const bool gray = info.jpeg_color_space == JCS_GRAYSCALE;
    if (!gray && info.num_components != 3) {
        return false;
    }
    info.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    if (request.longerSide > 0) {
        scaleFor(info, request.longerSide);
    }
    const DecodeFootprint footprint = footprintOf(info);
    if (footprint.tooLarge()) {
        request.refused = true;
        return false;
    }
    request.share = DecodeBudget::shared().admit(footprint, request.urgency);
    if (request.photo) {
        JOCTET* profile = nullptr;
        unsigned profileSize = 0;
        if (jpeg_read_icc_profile(&info, &profile, &profileSize)) {
            request.iccProfile = QByteArray(reinterpret_cast<const char*>(profile), qsizetype(profileSize));
            std::free(profile);
        }
        request.orientation = exifOrientation(info);
        request.planes.format = planarFormat(info);
        if (request.planes.format != AV_PIX_FMT_NONE) {
            return decodePlanes(info, request.planes);
        }
    }
    jpeg_start_decompress(&info);
    image = QImage(int(info.output_width), int(info.output_height),
                   gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull()) {
        return false;
    }
    uchar* const first = image.bits();
    const qsizetype stride = image.bytesPerLine();
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = first + stride * qsizetype(info.output_scanline);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

JpegPixels decode(Request& request)
{
    jpeg_decompress_struct info{};
    JumpingErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.output_message = stayQuiet;
    QImage image;
    const bool decoded = decodeInto(info, errors, request, image);
    request.decoded = decoded;
    jpeg_destroy_decompress(&info);
    // libjpeg counts every warning, the first of which alone it would print.
    const bool damaged = request.stopped || (request.headerRead && errors.manager.num_warnings > 0);
    return {decoded ? image : QImage(), damaged};
}

// libjpeg's source reading a MediaFile a buffer at a time, so that no read
// goes past the size the file had when opened. The manager comes first, so
// that libjpeg's pointer to it is a pointer to the whole.
struct FileSource {
    jpeg_source_mgr manager{};
    const MediaFile* file = nullptr;
    std::int64_t offset = 0;
    std::array<JOCTET, 64 * 1024> buffer{};

    static FileSource& of(j_decompress_ptr info) { return *reinterpret_cast<FileSource*>(info->src); }

    static boolean fill(j_decompress_ptr info)
    {
        FileSource& source = of(info);
        const std::int64_t got = source.file->read(source.offset, source.buffer.data(), source.buffer.size());
        if (got <= 0) {
            // The end of the file where more was wanted reads as its end
            // marker, as libjpeg's own sources do.
            static const JOCTET end[] = {0xFF, JPEG_EOI};
            info->src->next_input_byte = end;
            info->src->bytes_in_buffer = sizeof end;
            return TRUE;
        }
        source.offset += got;
        info->src->next_input_byte = source.buffer.data();
        info->src->bytes_in_buffer = std::size_t(got);
        return TRUE;
    }

    static void skip(j_decompress_ptr info, long count)
    {
        if (count <= 0) {
            return;
        }
        jpeg_source_mgr& manager = *info->src;
        if (std::size_t(count) <= manager.bytes_in_buffer) {
            manager.next_input_byte += count;
            manager.bytes_in_buffer -= std::size_t(count);
            return;
        }
        of(info).offset += count - std::int64_t(manager.bytes_in_buffer);
        manager.bytes_in_buffer = 0;
    }

    static void none(j_decompress_ptr) {}

    explicit FileSource(const MediaFile& read) : file(&read)
    {
        manager.init_source = none;
        manager.fill_input_buffer = fill;
        manager.skip_input_data = skip;
        manager.resync_to_restart = jpeg_resync_to_restart;
        manager.term_source = none;
    }
};

} // namespace

JpegPixels decodeJpegPixels(const QByteArray& bytes, int mostSide)
{
    if (bytes.isEmpty()) {
        return {};
    }
    // A cached thumbnail is asked for by a view waiting for it.
    Request request{.attachSource =
                        [&bytes](jpeg_decompress_struct& info) {
                            jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                                         static_cast<unsigned long>(bytes.size()));
                        },
                    .urgency = DecodeUrgency::visible,
                    .mostSide = mostSide};
    return decode(request);
}

JpegPhoto readJpegPhoto(const MediaFile& file, int pixels, DecodeUrgency urgency)
{
    // libjpeg's scaled decode averages blocks, which keeps fine stripes as
    // moiré: it stops at twice the thumbnail, as libvips' does, and the
    // filter of the shrink after it takes them away.
    constexpr int leftForTheShrink = 2;
    FileSource source(file);
    Request request{[&source](jpeg_decompress_struct& info) { info.src = &source.manager; },
                    leftForTheShrink * pixels, true, urgency};
    const JpegPixels decoded = decode(request);
    request.share.release(); // the shrink works on a picture a few times the thumbnail
    QImage image;
    if (request.planes.format == AV_PIX_FMT_NONE) {
        image = fittedThumbnail(decoded.image, pixels);
    } else if (request.decoded) {
        image = fittedThumbnail(request.planes.picture(), pixels);
    }
    if (image.isNull()) {
        return {{}, {}, 1, request.refused};
    }
    return {std::move(image), std::move(request.iccProfile), request.orientation, false};
}

} // namespace pivra
