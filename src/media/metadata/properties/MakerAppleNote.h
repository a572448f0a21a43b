#pragma once

#include <QByteArrayView>
#include <QVariantMap>
#include <optional>

namespace pivra {

// Decodes the raw maker note an Apple camera writes ("Apple iOS\0", a version,
// a byte-order mark and one IFD at offset 14 whose offsets count from the
// note's start) into the "{MakerApple}" group: keys are the tag numbers in
// decimal; text becomes a string, integers an integer or a list, rationals a
// double or a list, and opaque bytes a QByteArray. Entries that point outside
// the note are skipped. Nothing when the note is not Apple's.
std::optional<QVariantMap> decodeMakerApple(QByteArrayView note);

} // namespace pivra
