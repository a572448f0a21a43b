#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace pivra::ShareGlyph {

// The share target's blue: sRGB (0, 122/255, 1).
QColor blue();

// A dark drawing on a light ground made into the same drawing in blue on a
// transparent ground: each pixel's alpha is 255 less its first (red) byte.
// Any picture Qt can read is taken, converted to 8-bit RGBA first.
QImage tinted(const QImage& source);

// The bundled glyph tinted once and kept; null when the resource at `path`
// is missing or unreadable, and the target then draws the "airdrop" symbol
// of the bundled set in blue instead.
QImage image(const QString& path = QStringLiteral(":/gallery/ShareGlyphSource.png"));

} // namespace pivra::ShareGlyph
