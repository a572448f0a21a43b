#include "map/basemap/TextWidths.h"

#include <QFontMetricsF>

namespace pivra {

TextWidths::TextWidths(const QFont& font) : font_(withoutKerning(font))
{
    const QFontMetricsF metrics(font_);
    for (char32_t character = 0; character < ascii_.size(); ++character) {
        ascii_[character] = float(metrics.horizontalAdvance(QChar(character)));
    }
}

QFont TextWidths::withoutKerning(QFont font)
{
    font.setKerning(false);
    return font;
}

double TextWidths::of(const QString& text)
{
    double width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < ascii_.size()) {
            width += ascii_[unit];
        } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            width += advanceOf(QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else {
            width += advanceOf(unit);
        }
    }
    return width;
}

double TextWidths::of(QByteArrayView utf8)
{
    double width = 0;
    for (const char byte : utf8) {
        const auto unit = static_cast<unsigned char>(byte);
        if (unit >= ascii_.size()) {
            return of(QString::fromUtf8(utf8));
        }
        width += ascii_[unit];
    }
    return width;
}

double TextWidths::advanceOf(char32_t character)
{
    const auto known = others_.constFind(character);
    if (known != others_.cend()) {
        return *known;
    }
    const float advance = float(QFontMetricsF(font_).horizontalAdvance(QString::fromUcs4(&character, 1)));
    others_.insert(character, advance);
    return advance;
}

} // namespace pivra
