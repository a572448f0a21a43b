#include "catalog/search/SearchTokenizer.h"

#include "SearchTestClock.h"

#include <gtest/gtest.h>

namespace pivra::SearchParser {
namespace {

QStringList words(std::initializer_list<const char16_t*> list)
{
    QStringList result;
    for (const char16_t* word : list) {
        result.append(QString::fromUtf16(word));
    }
    return result;
}

TEST(SearchSplit, SpacesCommasAndSemicolonsEndWordsOutsideQuotes)
{
    struct Case {
        const char16_t* text;
        QStringList expected;
    };
    const Case cases[] = {
        {u"", {}},
        {u"  , ;; ,", {}},
        {u"beach,sunset; 2019  ankara", words({u"beach", u"sunset", u"2019", u"ankara"})},
        {u"name:\"summer trip\" 2019", words({u"name:\"summer trip\"", u"2019"})},
        {u"\"new york\"", words({u"\"new york\""})},
        {u"a\"b c\"d e", words({u"a\"b c\"d", u"e"})},
        {u"\"unclosed quote, runs; on", words({u"\"unclosed quote, runs; on"})},
        {u"tab\tand\nline", words({u"tab\tand\nline"})},
        // A space carrying a combining mark is a character of its own, not a separator.
        {u"a \u0301b", words({u"a \u0301b"})},
        {u"\U0001F3D6\uFE0F beach", words({u"\U0001F3D6\uFE0F", u"beach"})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(split(QString::fromUtf16(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
    }
}

TEST(SearchTokenize, WordsApostrophesAndDashes)
{
    struct Case {
        const char16_t* word;
        TokenList expected;
    };
    const QString dash = QStringLiteral("-");
    const Case cases[] = {
        {u"İstanbul", {{QStringLiteral("istanbul"), QStringLiteral("İstanbul")}}},
        {u"Ankara'da", {{QStringLiteral("ankara"), QStringLiteral("Ankara")}}},
        {u"Ankara'dan", {{QStringLiteral("ankara"), QStringLiteral("Ankara")}, {dash, dash}}},
        {u"2019'dan", {{QStringLiteral("2019"), QStringLiteral("2019")}, {dash, dash}}},
        {u"2019\u2019DEN", {{QStringLiteral("2019"), QStringLiteral("2019")}, {dash, dash}}},
        {u"2018'TEN", {{QStringLiteral("2018"), QStringLiteral("2018")}, {dash, dash}}},
        {u"rock'n'roll", {{QStringLiteral("rock"), QStringLiteral("rock")}}},
        {u"'dan", {{dash, dash}}},
        {u"'", {}},
        {u"2019-2021", {{QStringLiteral("2019"), QStringLiteral("2019")}, {dash, dash},
                        {QStringLiteral("2021"), QStringLiteral("2021")}}},
        {u"2021-2019'dan", {{QStringLiteral("2021"), QStringLiteral("2021")}, {dash, dash},
                            {QStringLiteral("2019"), QStringLiteral("2019")}, {dash, dash}}},
        {u"+201-2019", {{QStringLiteral("+201"), QStringLiteral("+201")}, {dash, dash},
                        {QStringLiteral("2019"), QStringLiteral("2019")}}},
        {u"2019\u20132021", {{QStringLiteral("2019\u20132021"), QStringLiteral("2019\u20132021")}}},
        {u"19-2021", {{QStringLiteral("19-2021"), QStringLiteral("19-2021")}}},
        {u"2019-2021-2022", {{QStringLiteral("2019-2021-2022"), QStringLiteral("2019-2021-2022")}}},
        {u"abcd-efgh", {{QStringLiteral("abcd-efgh"), QStringLiteral("abcd-efgh")}}},
        {u"-", {{dash, dash}}},
        {u"\u2013", {{dash, QStringLiteral("\u2013")}}},
        {u"\u2014", {{dash, QStringLiteral("\u2014")}}},
        {u"Dün", {{QStringLiteral("dun"), QStringLiteral("Dün")}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tokenize(QString::fromUtf16(c.word)), c.expected) << QString::fromUtf16(c.word).toStdString();
    }
}

} // namespace
} // namespace pivra::SearchParser
