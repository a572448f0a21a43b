#pragma once

// A camera-sized JPEG for benchmarks that decode originals: gradients under
// sensor-like noise, so that decoding and scaling it cost what a photo's do.

#include <QFile>
#include <QString>

#include <vips/vips8>

namespace pivra::bench {

// `hue` shifts the gradients, so that photos made with different hues differ.
inline void writeNoisyPhoto(const QString& path, int width, int height, double hue)
{
    using vips::VImage;
    VImage xy = VImage::xyz(width, height);
    VImage red = xy[0] * (180.0 / width) + hue;
    VImage green = xy[1] * (180.0 / height) + 40;
    VImage blue = (xy[0] + xy[1]) * (90.0 / (width + height)) + 255 - hue;
    VImage noise = VImage::gaussnoise(width, height, VImage::option()->set("sigma", 6.0));
    VImage image = (red.bandjoin(green).bandjoin(blue) + noise)
                       .cast(VIPS_FORMAT_UCHAR)
                       .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    image.jpegsave(QFile::encodeName(path).constData(), VImage::option()->set("Q", 90));
}

} // namespace pivra::bench
