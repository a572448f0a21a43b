#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace pivra::Symbols {

// The bundled symbol called `name` ("heart.fill", "externaldrive", ...) drawn
// in `tint`, `size` device-independent pixels at `devicePixelRatio`. Null
// when there is no such symbol. Drawn once per name, size and colour.
QPixmap pixmap(const QString& name, QSize size, const QColor& tint, qreal devicePixelRatio = 1);

// The symbol as an icon drawn at whatever size it is shown, in `tint`, and
// at 0.45 of its opacity when disabled.
QIcon icon(const QString& name, const QColor& tint);

} // namespace pivra::Symbols
