#pragma once

#include <QByteArrayView>
#include <QFont>
#include <QHash>
#include <QString>

#include <array>

namespace pivra {

// The width of a text in one font as the sum of its characters' advances,
// each measured once: a few nanoseconds a name where laying the text out
// takes microseconds, which over the quarter of a million names of the base
// map was a second. It equals the drawn width of a text drawn in the same
// font without kerning (see withoutKerning), character after character, as
// names in Latin, Greek and Cyrillic letters are; a script that joins its
// letters comes out a little wider or narrower than drawn. One thread.
class TextWidths {
public:
    explicit TextWidths(const QFont& font);

    // `font` set to draw exactly the widths measured here.
    static QFont withoutKerning(QFont font);

    double of(const QString& text);
    double of(QByteArrayView utf8);

private:
    double advanceOf(char32_t character);

    QFont font_;
    std::array<float, 128> ascii_{};
    QHash<char32_t, float> others_;
};

} // namespace pivra
