#pragma once

#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace pivra::WindowGeometry {

// The settings key of the library window's last size, place and state.
inline const QString settingsKey = QStringLiteral("pivra.window.geometry");

// The window's size when nothing usable is stored.
inline constexpr QSize standardSize{1200, 760};
// The smallest window a stored geometry may give: the headers and a row of
// the grid still fit (less only when the screen itself is smaller).
inline constexpr QSize smallestSize{640, 400};

// How much of a window's top must lie on the screen for it to be taken hold
// of (by a window manager's title bar, or the header's empty stretch).
inline constexpr QSize reachableTop{100, 40};

// `window` within reach on `available` (a screen's free area): no larger
// than it, no smaller than smallestSize; where it was while reachableTop of
// it lies on the screen, else moved wholly onto it.
QRect fitted(const QRect& window, const QRect& available);

// The size and place the window had when it last closed, fitted onto the
// screen it opens on; the standard size for a value Qt cannot read whole.
void restore(QWidget& window);
void save(const QWidget& window);

} // namespace pivra::WindowGeometry
