#pragma once

#include "catalog/search/SearchToken.h"

#include <QString>
#include <QStringList>

namespace pivra::SearchParser {

// The words of the search text. A space, "," or ";" ends a word unless it lies
// inside double quotes; the quotes stay part of the word, and an unclosed
// quote runs to the end of the text. Empty words are dropped.
QStringList split(const QString& text);

// The tokens of one word. A suffix after the first apostrophe is cut off, and
// a Turkish ablative there ("2019'dan", "Ankara'dan") adds a "-" token, which
// reads as "from ... on" after a date; a year range written in one word
// ("2019-2021") becomes year, "-", year; a lone dash of any width becomes "-".
TokenList tokenize(const QString& word);

} // namespace pivra::SearchParser
