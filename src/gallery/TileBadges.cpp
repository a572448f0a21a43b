#include "gallery/TileBadges.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/Symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace pivra {

namespace {
constexpr qreal badgeInset = 8;
constexpr qreal heartSide = 17;
constexpr qreal liveSide = 19;
constexpr qreal dotSide = 12;
// Longer durations are not real videos; the cap keeps the conversion to an
// integer defined.
constexpr double longestDuration = 99'999'999;

// A symbol with the soft shadow the badges carry so they read on any photo.
void drawSymbol(QPainter& painter, const QString& name, const QRectF& box, const QColor& tint)
{
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QSize size = box.size().toSize();
    painter.setOpacity(0.45);
    painter.drawPixmap(box.topLeft() + QPointF(0, 1), Symbols::pixmap(name, size, Qt::black, ratio));
    painter.setOpacity(1);
    painter.drawPixmap(box.topLeft(), Symbols::pixmap(name, size, tint, ratio));
}
} // namespace

QFont semiboldFont(int pixels)
{
    QFont font;
    font.setPixelSize(pixels);
    font.setWeight(QFont::DemiBold);
    return font;
}

QString clockText(std::optional<double> seconds)
{
    const double value = seconds && std::isfinite(*seconds) && *seconds > 0 ? std::min(*seconds, longestDuration) : 0;
    const long long whole = static_cast<long long>(value);
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString durationText(std::optional<double> seconds)
{
    return QStringLiteral("  ▶  %1  ").arg(clockText(seconds));
}

QString fittedDurationText(std::optional<double> seconds, qreal width, const QFont& font)
{
    const QString clock = clockText(seconds);
    for (const QString& text : {durationText(seconds), QStringLiteral(" ▶ %1 ").arg(clock), QStringLiteral(" ▶ ")}) {
        if (textPillSize(text, font).width() <= width) {
            return text;
        }
    }
    return {};
}

QSizeF textPillSize(const QString& text, const QFont& font)
{
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void paintTextPill(QPainter& painter, const QRectF& box, const QString& text, const QFont& font)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.7));
    painter.drawRoundedRect(box, 5, 5);
    painter.setPen(Qt::white);
    painter.setFont(font);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

void paintTileBadges(QPainter& painter, const QRectF& tile, const MediaItem& item, double dotOpacity, bool dark)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (item.isFavorite()) {
        drawSymbol(painter, QStringLiteral("heart.fill"),
                   QRectF(tile.left() + badgeInset, tile.top() + badgeInset, heartSide, heartSide),
                   PivraAppearance::systemRed(dark));
    }
    if (item.kind() == MediaKind::video) {
        // A narrow tile (a portrait video at the smallest size) keeps the
        // badge's insets on both sides and shortens the text instead.
        const QFont font = semiboldFont(11);
        const QString text = fittedDurationText(item.duration(), tile.width() - 2 * badgeInset, font);
        const QSizeF size = textPillSize(text, font);
        if (!text.isEmpty() && size.height() <= tile.height() - 2 * badgeInset) {
            paintTextPill(painter,
                          QRectF(tile.right() - badgeInset - size.width(), tile.bottom() - badgeInset - size.height(),
                                 size.width(), size.height()),
                          text, font);
        }
    } else if (item.liveVideoPath()) {
        drawSymbol(painter, QStringLiteral("livephoto"),
                   QRectF(tile.right() - badgeInset - liveSide, tile.bottom() - badgeInset - liveSide, liveSide,
                          liveSide),
                   Qt::white);
    }
    if (dotOpacity > 0) {
        const QRectF dot(tile.right() - badgeInset - dotSide, tile.top() + badgeInset, dotSide, dotSide);
        painter.setOpacity(dotOpacity * 0.35);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(dot.translated(0, 1).adjusted(-1, -1, 1, 1));
        painter.setOpacity(dotOpacity);
        painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.92), 1.5));
        painter.setBrush(PivraAppearance::systemRed(dark));
        painter.drawEllipse(dot.adjusted(0.75, 0.75, -0.75, -0.75));
    }
    painter.restore();
}

} // namespace pivra
