#pragma once

#include <QList>
#include <QString>

namespace pivra::SearchParser {

// One token of the search text: `text` is its folded form, which every
// comparison uses; `original` is what the user typed, which becomes a term.
struct Token {
    QString text;
    QString original;

    bool operator==(const Token&) const = default;
};

using TokenList = QList<Token>;

} // namespace pivra::SearchParser
