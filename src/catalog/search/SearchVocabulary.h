#pragma once

#include <QHash>
#include <QSet>
#include <QString>

namespace pivra::SearchParser {

// Words that join or bound date phrases. The order matters: the connectors
// after `between` are the ones that bound a single date ("before 2019").
enum class Connector { through, between, before, after, since };

// Every table holds folded words, English and Turkish side by side; a word
// matches an entry when its folded text equals it.
const QHash<QString, Connector>& connectors();
// Keys of "name:IMG_1234" pairs.
const QSet<QString>& nameKeys();
// Keys of "place:Ankara" pairs.
const QSet<QString>& placeKeys();
const QSet<QString>& photoWords();
const QSet<QString>& videoWords();
// Filler words of a spoken query ("show me all photos from ...").
const QSet<QString>& stopWords();

} // namespace pivra::SearchParser
