#pragma once

#include <QByteArray>
#include <QImage>

namespace pivra {

// The pixels of an image in the colour space of its ICC profile, converted
// into sRGB (the space Qt shows them in, since it does no colour management)
// with the relative colorimetric intent, as libvips converts the other
// formats. A three-byte RGB image takes an RGB profile and an 8-bit grey one
// a grey profile; either comes out as three-byte sRGB. A profile that does
// not fit the pixels, or that lcms cannot read, is passed over and the image
// given back as it is.
//
// The transforms of the last few profiles are kept: a camera or a phone
// writes the same profile into every photo, and making a transform costs
// more than converting a thumbnail. Safe on any thread.
QImage convertedToSrgb(const QImage& image, const QByteArray& iccProfile);

} // namespace pivra
