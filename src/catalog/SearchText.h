#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace pivra {

// Small text readings the search parser and the date-span recogniser share.

// The user-perceived characters (grapheme clusters) of a text, in order. A
// separator such as a space or a quote only separates when it stands alone:
// followed by a combining mark it is part of another character.
QStringList graphemeClusters(QStringView text);

// Lengths in the search vocabulary are counted in Unicode code points, so a
// letter outside the Basic Multilingual Plane counts once.
qsizetype codePointCount(QStringView text);

// A whole decimal number: an optional "+" or "-" and one or more ASCII digits,
// nothing else. A number beyond the 64-bit range does not read.
std::optional<qint64> wholeNumber(QStringView text);

} // namespace pivra
