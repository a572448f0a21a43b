#include "catalog/search/SearchText.h"

#include <QTextBoundaryFinder>
#include <limits>

namespace pivra {

QStringList graphemeClusters(QStringView text)
{
    QStringList clusters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        clusters.append(text.sliced(start, end - start).toString());
        start = end;
    }
    return clusters;
}

qsizetype codePointCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) {
            ++count;
        }
    }
    return count;
}

std::optional<qint64> wholeNumber(QStringView text)
{
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == u'-';
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        i = 1;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulate towards the sign so that the most negative value reads too.
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        const int digit = c - u'0';
        if (negative) {
            if (value < (std::numeric_limits<qint64>::min() + digit) / 10) {
                return std::nullopt;
            }
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
                return std::nullopt;
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

QSet<QString> wordSet(const char* words)
{
    const QStringList list = QString::fromUtf8(words).split(u' ', Qt::SkipEmptyParts);
    return QSet<QString>(list.cbegin(), list.cend());
}

} // namespace pivra
