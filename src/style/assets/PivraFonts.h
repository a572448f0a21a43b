#pragma once

#include <QFont>
#include <QString>

namespace pivra::PivraFonts {

// The display family's name as the views ask for it.
inline const QString displayFamilyName = QStringLiteral("MuseoModerno");

// Adds the display font files found in `folder` to the process's fonts; called
// once at launch before the first window is built. A missing folder or an
// unreadable file is passed over in silence: text set in the family then
// falls back to the application font.
void registerDisplayFont(const QString& folder);
void registerDisplayFont();

// A font of `pixelSize` device-independent pixels, the unit the views'
// sizes are given in; a fractional size (11.5) is kept, not rounded.
QFont font(double pixelSize, QFont::Weight weight = QFont::Normal);
QFont displayFont(int pixelSize, QFont::Weight weight = QFont::Normal);

} // namespace pivra::PivraFonts
