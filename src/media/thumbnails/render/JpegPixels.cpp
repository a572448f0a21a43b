#include "media/thumbnails/render/JpegPixels.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE declared first

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

// A damaged thumbnail decodes as far as it goes, as Qt's reader would; its
// warnings are not printed.
void stayQuiet(j_common_ptr) {}

// The decoding itself. Everything it changes lives in the caller's frame and
// it has no object of its own to destroy, so a jump back out of libjpeg
// leaves nothing undone or indeterminate.
bool decodeInto(jpeg_decompress_struct& info, JumpingErrors& errors, const QByteArray& bytes, QImage& image)
{
    if (setjmp(errors.back) != 0) {
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    const bool gray = info.jpeg_color_space == JCS_GRAYSCALE;
    if (!gray && info.num_components != 3) {
        return false;
    }
    info.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
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

} // namespace

QImage decodeJpegPixels(const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        return {};
    }
    jpeg_decompress_struct info{};
    JumpingErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.output_message = stayQuiet;
    QImage image;
    const bool decoded = decodeInto(info, errors, bytes, image);
    jpeg_destroy_decompress(&info);
    return decoded ? image : QImage();
}

} // namespace pivra
