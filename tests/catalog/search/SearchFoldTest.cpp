#include "catalog/search/SearchFold.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

struct FoldCase {
    const char16_t* typed;
    const char16_t* folded;
};

template <std::size_t count>
void expectFolds(const FoldCase (&cases)[count])
{
    for (const FoldCase& c : cases) {
        EXPECT_EQ(searchFold(QString::fromUtf16(c.typed)), QString::fromUtf16(c.folded))
            << QString::fromUtf16(c.typed).toStdString();
    }
}

// Both ways a Turkish user writes i meet in "i", before case and accents go.
TEST(SearchFold, TurkishLettersMeetTheirPlainForms)
{
    const FoldCase cases[] = {
        {u"İSTANBUL", u"istanbul"}, {u"Istanbul", u"istanbul"},   {u"istanbul", u"istanbul"},
        {u"ılık", u"ilik"},          {u"IĞDIR", u"igdir"},         {u"Şubat", u"subat"},
        {u"Ağu", u"agu"},            {u"ÖNCEKİ", u"onceki"},       {u"Dün", u"dun"},
        {u"Çekilmiş", u"cekilmis"},  {u"FOTOĞRAFLARI", u"fotograflari"}, {u"Bugün", u"bugun"},
    };
    expectFolds(cases);
}

// Full case folding, accents dropped after decomposition, letters without a
// decomposable accent kept as they are.
TEST(SearchFold, OtherScriptsFoldCaseAndDecomposableAccentsOnly)
{
    const FoldCase cases[] = {
        {u"Café", u"cafe"},
        {u"Cafe\u0301", u"cafe"},      // accent typed as a combining mark
        {u"STRASSE", u"strasse"},
        {u"Straße", u"strasse"},       // full folding, as a case-insensitive comparison does
        {u"Ærøskøbing", u"ærøskøbing"}, // æ and ø carry no separable accent
        {u"Łódź", u"łodz"},            // ł likewise; ó and ź lose theirs
        {u"Ελλάδα", u"ελλαδα"},
        {u"ΣΊΣΥΦΟΣ", u"σισυφοσ"},      // final and medial sigma meet
        {u"Ｐａｒｉｓ", u"ｐａｒｉｓ"},    // width is not folded
    };
    expectFolds(cases);
}

TEST(SearchFold, PunctuationDigitsAndSymbolsPassThrough)
{
    const FoldCase cases[] = {
        {u"", u""},
        {u"2019-2021", u"2019-2021"},
        {u"\u2013", u"\u2013"},
        {u"\u2192", u"\u2192"},
        {u"17.05.2020", u"17.05.2020"},
        {u"\"New York\"", u"\"new york\""},
        {u"\U0001F600 Tatil", u"\U0001F600 tatil"},
    };
    expectFolds(cases);
}

// A lone surrogate is not text, but folding it must neither crash nor lose
// what stands around it.
TEST(SearchFold, BrokenUtf16KeepsTheRest)
{
    const QString broken = QStringLiteral("AB") + QChar(0xD800) + QStringLiteral("Ç");
    const QString folded = searchFold(broken);
    EXPECT_TRUE(folded.startsWith(QStringLiteral("ab")));
    EXPECT_TRUE(folded.endsWith(QStringLiteral("c")));
}

} // namespace
} // namespace pivra
