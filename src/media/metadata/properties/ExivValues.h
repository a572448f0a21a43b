#pragma once

// exiv2 0.27's headers use std::auto_ptr; only the property builder's files
// include them.
#include <exiv2/exiv2.hpp>

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace pivra::exiv {

// Text of an ASCII or string value, cut at the first NUL and with trailing
// white space removed (cameras pad fixed-size fields).
QString text(const Exiv2::Value& value);

// The value's raw bytes, as stored.
QByteArray bytes(const Exiv2::Value& value);

// Text of a comment (UserComment, GPS processing method), decoded by its stored
// type: an UNDEFINED value starts with an eight-byte character-set header
// ("ASCII", "UNICODE", "JIS" or none), which is read and left out; an ASCII
// value is plain text.
QString comment(const Exiv2::Value& value);

// Element `index` as a number: an integer for the integer types, a double for
// rationals and floats (a zero denominator gives an infinity or NaN, which the
// JSON conversion drops).
QVariant number(const Exiv2::Value& value, long index);

// One value as the platform's property dictionary gives it: text for ASCII and
// comments, a number for one element, a list for several, the raw bytes for
// opaque data.
QVariant plain(const Exiv2::Value& value);

// All elements as a list of numbers, whatever their count.
QVariantList numbers(const Exiv2::Value& value);

} // namespace pivra::exiv
