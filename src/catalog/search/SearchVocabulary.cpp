#include "catalog/search/SearchVocabulary.h"

#include "catalog/search/SearchText.h"

namespace pivra::SearchParser {

const QHash<QString, Connector>& connectors()
{
    static const std::pair<Connector, const char*> rows[] = {
        // En dash, em dash and arrow written as escapes: they look alike in print.
        {Connector::through, "- \u2013 \u2014 to until till through and ve ile \u2192"},
        {Connector::between, "between arasi arasinda arasindaki"},
        {Connector::before, "before once oncesi oncesinde"},
        {Connector::after, "after sonra sonrasi sonrasinda"},
        {Connector::since, "since beri itibaren"},
    };
    static const QHash<QString, Connector> table = wordTable(rows);
    return table;
}

const QSet<QString>& nameKeys()
{
    static const QSet<QString> words = wordSet("name file filename ad isim dosya");
    return words;
}

const QSet<QString>& placeKeys()
{
    static const QSet<QString> words = wordSet("in at place location where konum yer sehir");
    return words;
}

const QSet<QString>& photoWords()
{
    static const QSet<QString> words = wordSet(
        "photo photos picture pictures image images foto fotolar fotograf fotograflar fotograflari resim resimler");
    return words;
}

const QSet<QString>& videoWords()
{
    static const QSet<QString> words = wordSet("video videos videolar videolari film movie movies");
    return words;
}

const QSet<QString>& stopWords()
{
    static const QSet<QString> words = wordSet("show me all the a an of from in at on taken with my dated "
                                               "goster bana tum butun olan cekilen cekilmis tarihli tarihinde "
                                               "tarihleri tarih de da te ta ki icin icinde itibariyle");
    return words;
}

} // namespace pivra::SearchParser
