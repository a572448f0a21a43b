#include "catalog/SearchVocabulary.h"

namespace pivra::SearchParser {
namespace {

QSet<QString> wordSet(std::initializer_list<const char16_t*> words)
{
    QSet<QString> set;
    for (const char16_t* word : words) {
        set.insert(QString::fromUtf16(word));
    }
    return set;
}

} // namespace

const QHash<QString, Connector>& connectors()
{
    static const QHash<QString, Connector> table = {
        {QStringLiteral("-"), Connector::through},
        {QStringLiteral("\u2013"), Connector::through},
        {QStringLiteral("\u2014"), Connector::through},
        {QStringLiteral("to"), Connector::through},
        {QStringLiteral("until"), Connector::through},
        {QStringLiteral("till"), Connector::through},
        {QStringLiteral("through"), Connector::through},
        {QStringLiteral("and"), Connector::through},
        {QStringLiteral("ve"), Connector::through},
        {QStringLiteral("ile"), Connector::through},
        {QStringLiteral("\u2192"), Connector::through},
        {QStringLiteral("between"), Connector::between},
        {QStringLiteral("arasi"), Connector::between},
        {QStringLiteral("arasinda"), Connector::between},
        {QStringLiteral("arasindaki"), Connector::between},
        {QStringLiteral("before"), Connector::before},
        {QStringLiteral("once"), Connector::before},
        {QStringLiteral("oncesi"), Connector::before},
        {QStringLiteral("oncesinde"), Connector::before},
        {QStringLiteral("after"), Connector::after},
        {QStringLiteral("sonra"), Connector::after},
        {QStringLiteral("sonrasi"), Connector::after},
        {QStringLiteral("sonrasinda"), Connector::after},
        {QStringLiteral("since"), Connector::since},
        {QStringLiteral("beri"), Connector::since},
        {QStringLiteral("itibaren"), Connector::since},
    };
    return table;
}

const QSet<QString>& nameKeys()
{
    static const QSet<QString> words = wordSet({u"name", u"file", u"filename", u"ad", u"isim", u"dosya"});
    return words;
}

const QSet<QString>& placeKeys()
{
    static const QSet<QString> words =
        wordSet({u"in", u"at", u"place", u"location", u"where", u"konum", u"yer", u"sehir"});
    return words;
}

const QSet<QString>& photoWords()
{
    static const QSet<QString> words =
        wordSet({u"photo", u"photos", u"picture", u"pictures", u"image", u"images", u"foto", u"fotolar",
                 u"fotograf", u"fotograflar", u"fotograflari", u"resim", u"resimler"});
    return words;
}

const QSet<QString>& videoWords()
{
    static const QSet<QString> words =
        wordSet({u"video", u"videos", u"videolar", u"videolari", u"film", u"movie", u"movies"});
    return words;
}

const QSet<QString>& stopWords()
{
    static const QSet<QString> words = wordSet({
        u"show",     u"me",         u"all",       u"the",      u"a",      u"an",     u"of",
        u"from",     u"in",         u"at",        u"on",       u"taken",  u"with",   u"my",
        u"dated",    u"goster",     u"bana",      u"tum",      u"butun",  u"olan",   u"cekilen",
        u"cekilmis", u"tarihli",    u"tarihinde", u"tarihleri", u"tarih", u"de",     u"da",
        u"te",       u"ta",         u"ki",        u"icin",     u"icinde", u"itibariyle",
    });
    return words;
}

} // namespace pivra::SearchParser
