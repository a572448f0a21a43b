#include "catalog/search/SearchQuery.h"

namespace pivra {

SearchQuery SearchQuery::literal(QStringView text)
{
    const auto isBlank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    SearchQuery query;
    if (end > begin) {
        query.terms.append(text.sliced(begin, end - begin).toString());
    }
    return query;
}

} // namespace pivra
