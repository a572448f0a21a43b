#pragma once

#include <QByteArray>
#include <QString>

namespace pivra::test {

// The maker note an iPhone writes into Exif: "Apple iOS\0", a version, "MM" and
// a big-endian IFD at offset 14 whose offsets count from the note's start.
// Besides the Live Photo content identifier (tag 0x0011, ASCII) it carries a
// signed integer (tag 0x0001 = 14), three signed rationals (tag 0x0008 =
// -0.5, 0.25, -1) and a binary entry (tag 0x0002), so a decoder meets every
// kind of value a real note holds.
QByteArray appleMakerNote(const QString& liveIdentifier);

} // namespace pivra::test
