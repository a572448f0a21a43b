#pragma once

#include <QColor>
#include <QPalette>

namespace pivra::PivraAppearance {

// The window's canvas (content, headers, gallery background) and the
// placeholder behind a preview whose image has not arrived, per scheme.
inline const QColor darkCanvas = QColor::fromRgbF(0.085f, 0.086f, 0.095f);
inline const QColor lightCanvas = QColor::fromRgbF(0.965f, 0.968f, 0.973f);
inline const QColor darkPlaceholder = QColor::fromRgbF(0.16f, 0.165f, 0.18f);
inline const QColor lightPlaceholder = QColor::fromRgbF(0.88f, 0.89f, 0.91f);

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

// The Fusion palette of each scheme: canvas windows, accent highlight and
// pure black or white text, so "primary at an opacity" is WindowText with
// that alpha.
QPalette palette(bool dark);

// The palette's text colour at `opacity`.
QColor primary(const QPalette& palette, qreal opacity);

// Whether `palette` reads as dark: its window darker than its text.
bool isDark(const QPalette& palette);

} // namespace pivra::PivraAppearance
