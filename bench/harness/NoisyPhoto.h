#pragma once

// A camera-sized JPEG for benchmarks that decode originals: gradients under
// sensor-like noise, so that decoding and scaling it cost what a photo's do.

#include <QFile>
#include <QString>

#include <vips/vips8>

namespace pivra::bench {

// `hue` shifts the gradients, so that photos made with different hues differ.
// Camera-like options: `halvedChroma` stores chroma halved both ways, as
// cameras and phones do (libvips keeps it whole from quality 90), and
// `srgbProfile` embeds the sRGB profile, as some cameras do; `grain` is the
// noise's deviation (at 10 a photo takes 2 to 4 bits a pixel, as a camera's
// detailed scenes do).
struct PhotoEncoding {
    double grain = 6.0;
    int quality = 90;
    bool halvedChroma = false;
    bool srgbProfile = false;
};

inline void writeNoisyPhoto(const QString& path, int width, int height, double hue, PhotoEncoding encoding = {})
{
    using vips::VImage;
    VImage xy = VImage::xyz(width, height);
    VImage red = xy[0] * (180.0 / width) + hue;
    VImage green = xy[1] * (180.0 / height) + 40;
    VImage blue = (xy[0] + xy[1]) * (90.0 / (width + height)) + 255 - hue;
    VImage noise = VImage::gaussnoise(width, height, VImage::option()->set("sigma", encoding.grain));
    VImage image = (red.bandjoin(green).bandjoin(blue) + noise)
                       .cast(VIPS_FORMAT_UCHAR)
                       .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    if (encoding.srgbProfile) {
        image = image.icc_transform("srgb", VImage::option()->set("input_profile", "srgb"));
    }
    image.jpegsave(QFile::encodeName(path).constData(),
                   VImage::option()
                       ->set("Q", encoding.quality)
                       ->set("subsample_mode", encoding.halvedChroma ? VIPS_FOREIGN_SUBSAMPLE_ON
                                                                     : VIPS_FOREIGN_SUBSAMPLE_AUTO));
}

} // namespace pivra::bench
