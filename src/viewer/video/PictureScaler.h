#pragma once

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct SwsContext;

namespace pivra {

// Converts and scales a decoded picture into a 32-bit RGB image in one pass
// of libswscale, with the picture's own colour matrix and range. Keeps its
// scaling context between pictures of the same shape; one thread at a time.
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

    // Null when the picture cannot be converted.
    QImage scale(const Picture& picture, QSize to);

    // The size of `picture` fitted into `box`, aspect kept, at least 1 by 1.
    static QSize fitted(QSize picture, QSize box);

private:
    struct Release {
        void operator()(SwsContext* context) const;
    };

    int filter_;
    std::unique_ptr<SwsContext, Release> context_;
};

} // namespace pivra
