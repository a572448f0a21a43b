#include "catalog/search/SearchTokenizer.h"

#include "catalog/search/SearchFold.h"
#include "catalog/search/SearchText.h"

namespace pivra::SearchParser {
namespace {

const QString dash = QStringLiteral("-");

bool isApostrophe(const QString& character)
{
    return character == u"'" || character == u"\u2019";
}

bool isYearRangePiece(const QString& piece)
{
    return codePointCount(piece) == 4 && wholeNumber(piece).has_value();
}

} // namespace

QStringList split(const QString& text)
{
    QStringList words;
    QString word;
    bool insideQuotes = false;
    for (const QString& character : graphemeClusters(text)) {
        if (character == u"\"") {
            insideQuotes = !insideQuotes;
            word += character;
        } else if (!insideQuotes && (character == u" " || character == u"," || character == u";")) {
            if (!word.isEmpty()) {
                words.append(word);
            }
            word.clear();
        } else {
            word += character;
        }
    }
    if (!word.isEmpty()) {
        words.append(word);
    }
    return words;
}

TokenList tokenize(const QString& word)
{
    static const QStringList ablativeSuffixes = {QStringLiteral("den"), QStringLiteral("dan"), QStringLiteral("ten"),
                                                 QStringLiteral("tan")};

    const QStringList characters = graphemeClusters(word);
    QString stem;
    std::optional<QString> suffix;
    QStringList pieces{QString()};
    for (const QString& character : characters) {
        if (suffix) {
            *suffix += character;
        } else if (isApostrophe(character)) {
            suffix = QString();
        } else {
            stem += character;
            if (character == dash) {
                pieces.append(QString());
            } else {
                pieces.last() += character;
            }
        }
    }

    TokenList tokens;
    if (pieces.size() == 2 && isYearRangePiece(pieces[0]) && isYearRangePiece(pieces[1])) {
        tokens = {{pieces[0], pieces[0]}, {dash, dash}, {pieces[1], pieces[1]}};
    } else if (stem == dash || stem == u"\u2013" || stem == u"\u2014") {
        tokens = {{dash, stem}};
    } else if (!stem.isEmpty()) {
        tokens = {{searchFold(stem), stem}};
    }
    if (suffix && ablativeSuffixes.contains(searchFold(*suffix))) {
        tokens.append({dash, dash});
    }
    return tokens;
}

} // namespace pivra::SearchParser
