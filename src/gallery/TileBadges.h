#pragma once

#include "catalog/model/MediaItem.h"

#include <QFont>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace pivra {

// The semibold face of the grid's texts at `pixels` high (badges, headers).
QFont semiboldFont(int pixels);

// A duration as "m:ss": whole seconds, fractions cut off, minutes without an
// hour field (3725 s reads 62:05). A missing, non-finite or negative
// duration reads 0:00.
QString clockText(std::optional<double> seconds);

// The duration badge's text, the clock text after a play mark: "  ▶  m:ss  ".
QString durationText(std::optional<double> seconds);
// The longest form of the duration badge whose pill is at most `width` wide
// in `font`: the whole text, the same with single spaces, or the play mark
// alone; empty when not even the mark fits.
QString fittedDurationText(std::optional<double> seconds, qreal width, const QFont& font);

// The size of a text's pill (the duration badge's look) in `font`.
QSizeF textPillSize(const QString& text, const QFont& font);
// A text in white on a dark rounded pill filling `box`.
void paintTextPill(QPainter& painter, const QRectF& box, const QString& text, const QFont& font);

// Draws what lies over a tile's preview: the favourite heart top left, the
// duration of a video (in the form the tile's width leaves room for) or the
// Live Photo mark bottom right, and the disconnected dot top right at
// `dotOpacity` (0 hides it). Nothing is drawn outside `tile`.
void paintTileBadges(QPainter& painter, const QRectF& tile, const MediaItem& item, double dotOpacity, bool dark);

} // namespace pivra
