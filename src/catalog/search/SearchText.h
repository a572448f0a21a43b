#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <utility>

namespace pivra {

// Small text readings the search parser and the date-span recogniser share.

// The user-perceived characters (grapheme clusters) of a text, in order. A
// separator such as a space or a quote only separates when it stands alone:
// followed by a combining mark it is part of another character.
QStringList graphemeClusters(QStringView text);

// Lengths in the search vocabulary are counted in Unicode code points, so a
// letter outside the Basic Multilingual Plane counts once.
qsizetype codePointCount(QStringView text);

// A whole decimal number: an optional "+" or "-" and one or more ASCII digits,
// nothing else. A number beyond the 64-bit range does not read.
std::optional<qint64> wholeNumber(QStringView text);

// The vocabulary tables are written as rows of space-separated UTF-8 words.
QSet<QString> wordSet(const char* words);

template <typename Value, std::size_t count>
QHash<QString, Value> wordTable(const std::pair<Value, const char*> (&rows)[count])
{
    QHash<QString, Value> table;
    for (const auto& [value, words] : rows) {
        for (const QString& word : wordSet(words)) {
            table.insert(word, value);
        }
    }
    return table;
}

} // namespace pivra
