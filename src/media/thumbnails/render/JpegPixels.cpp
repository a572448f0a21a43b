#include "media/thumbnails/render/JpegPixels.h"

#include "media/MediaFile.h"
#include "media/thumbnails/render/DecodeBudget.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE declared first
#include <cstdlib>
#include <cstring>
#include <functional>

#include <jpeglib.h>

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

// What one decode asks for beyond the pixels, and what it holds and finds.
struct Request {
    std::function<void(jpeg_decompress_struct&)> attachSource;
    int longerSide = 0;  // the least longer side a scaled decode keeps; 0: the whole size
    bool budgeted = false;
    DecodeUrgency urgency = DecodeUrgency::background;
    DecodeBudget::Share share;
    QByteArray iccProfile;
    bool headerRead = false;
    bool stopped = false; // by an error after the header
};

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
        return keepDecodedRows(info, image);
    }
    jpeg_create_decompress(&info);
    request.attachSource(info);
    if (request.budgeted) {
        // Beyond the budget libjpeg fails rather than allocates.
        info.mem->max_memory_to_use = long(largestDecodeBytes);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    }
    jpeg_read_header(&info, TRUE);
    request.headerRead = true;
    const bool gray = info.jpeg_color_space == JCS_GRAYSCALE;
    if (!gray && info.num_components != 3) {
        return false;
    }
    info.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    if (request.longerSide > 0) {
        scaleFor(info, request.longerSide);
    }
    if (request.budgeted) {
        const DecodeFootprint footprint = footprintOf(info);
        if (footprint.tooLarge()) {
            return false;
        }
        request.share = DecodeBudget::shared().admit(footprint, request.urgency);
        JOCTET* profile = nullptr;
        unsigned profileSize = 0;
        if (jpeg_read_icc_profile(&info, &profile, &profileSize)) {
            request.iccProfile = QByteArray(reinterpret_cast<const char*>(profile), qsizetype(profileSize));
            std::free(profile);
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

JpegPixels decodeJpegPixels(const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        return {};
    }
    Request request{[&bytes](jpeg_decompress_struct& info) {
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
    }};
    return decode(request);
}

SalvagedJpeg salvageJpeg(const MediaFile& file, int longerSide, DecodeUrgency urgency)
{
    FileSource source(file);
    Request request{[&source](jpeg_decompress_struct& info) { info.src = &source.manager; }, longerSide, true,
                    urgency};
    QImage image = decode(request).image;
    QByteArray profile = image.isNull() ? QByteArray() : std::move(request.iccProfile);
    return {std::move(image), std::move(profile)};
}

} // namespace pivra
