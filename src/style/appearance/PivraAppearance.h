#pragma once

#include <QColor>
#include <QPalette>

namespace pivra::PivraAppearance {

// A colour of 0-1 components held at the 8 bits per channel it is painted
// with, so a pixel painted in it compares equal to it.
inline QColor rgb8(double red, double green, double blue)
{
    return QColor(qRound(red * 255), qRound(green * 255), qRound(blue * 255));
}

// The window's canvas (content, headers, gallery background) and the
// placeholder behind a preview whose image has not arrived, per scheme.
inline const QColor darkCanvas = rgb8(0.085, 0.086, 0.095);
inline const QColor lightCanvas = rgb8(0.965, 0.968, 0.973);
inline const QColor darkPlaceholder = rgb8(0.16, 0.165, 0.18);
inline const QColor lightPlaceholder = rgb8(0.88, 0.89, 0.91);

// Behind the viewer, darker than the dark canvas, in either scheme.
inline const QColor viewerBackdrop = rgb8(0.055, 0.055, 0.063);

inline const QColor& canvas(bool dark) { return dark ? darkCanvas : lightCanvas; }
inline const QColor& placeholder(bool dark) { return dark ? darkPlaceholder : lightPlaceholder; }

// Red of the favourite heart and the disconnected dot.
inline const QColor& systemRed(bool dark)
{
    static const QColor light(0xFF, 0x3B, 0x30);
    static const QColor darkRed(0xFF, 0x45, 0x3A);
    return dark ? darkRed : light;
}

// Space kept free for title-bar buttons drawn inside the content, as a
// window without a title bar needs. Windows here keep the window manager's
// decoration, so nothing is reserved; every such inset reads this one value.
inline constexpr qreal titleBarInset = 0;

// `colour` at `opacity`, held to 0 ... 1: an animated opacity overshoots
// its ends on a spring and undershoots 0 by a hair as it fades out.
QColor withOpacity(QColor colour, qreal opacity);

// The Fusion palette of each scheme: canvas windows, accent highlight and
// pure black or white text, so "primary at an opacity" is WindowText with
// that alpha.
QPalette palette(bool dark);

// The palette's text colour at `opacity`.
QColor primary(const QPalette& palette, qreal opacity);

// Whether `palette` reads as dark: its window darker than its text.
bool isDark(const QPalette& palette);

} // namespace pivra::PivraAppearance
