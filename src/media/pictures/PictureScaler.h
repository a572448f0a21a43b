#pragma once

#include <QImage>
#include <QSize>

#include <array>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace pivra {

// Converts and scales a decoded picture into a 32-bit RGB image in one pass
// of libswscale, with the picture's own colour matrix and range. Keeps its
// scaling context between pictures of the same shape, and writes into an
// image it made before once nobody holds that one any more, so a playing
// video does not allocate a picture a frame. One thread at a time.
//
// libswscale's vector code converts rows in blocks of up to 16 pixels. Where
// a row's stride has room it writes the last block whole; where it has not,
// it leaves the row's last pixels unconverted, and for some widths it still
// writes up to 56 bytes past the last row. QImage's own rows are only as
// long as their pixels: a zoomed video, converted at widths of every kind,
// showed a strip of stale pixels along its right edge and damaged the heap
// until the program died. The images written into come from outputImage().
class PictureScaler {
public:
    struct Picture {
        const std::uint8_t* planes[4] = {};
        int strides[4] = {};
        QSize size;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        int matrix = 0; // a libswscale colour space (SWS_CS_*); 0 for the default
        bool fullRange = false;
    };

    // `filter`: a libswscale scaling algorithm (SWS_BILINEAR, SWS_AREA...).
    explicit PictureScaler(int filter);
    ~PictureScaler();

    PictureScaler(const PictureScaler&) = delete;
    PictureScaler& operator=(const PictureScaler&) = delete;

    // Null when the picture cannot be converted. The image may be one this
    // scaler answered before and that has since been let go of everywhere.
    QImage scale(const Picture& picture, QSize to);

    // The size of `picture` fitted into `box`, aspect kept, at least 1 by 1.
    static QSize fitted(QSize picture, QSize box);

    // An image of `size` in `format` that libswscale may write whole blocks
    // into: each row starts on a 64-byte boundary and a block of 64 bytes
    // follows the last. Its pixels are undefined; null for an empty size or
    // when the memory cannot be had.
    static QImage outputImage(QSize size, QImage::Format format);

private:
    struct Release {
        void operator()(SwsContext* context) const;
    };

    QImage& freeImage(QSize size);

    int filter_;
    std::unique_ptr<SwsContext, Release> context_;
    // One shown, one on its way to be shown, one being written.
    std::array<QImage, 3> images_;
    std::size_t nextReplaced_ = 0;
};

} // namespace pivra
