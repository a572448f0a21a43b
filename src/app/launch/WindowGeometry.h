#pragma once

#include <QString>

class QWidget;

namespace pivra::WindowGeometry {

// The settings key of the library window's last size, place and state.
inline const QString settingsKey = QStringLiteral("pivra.window.geometry");

// The size and place the window had when it last closed, else 1200 by 760.
void restore(QWidget& window);
void save(const QWidget& window);

} // namespace pivra::WindowGeometry
