#include "viewer/photo/DisconnectedPreview.h"

#include "media/thumbnails/ThumbnailStore.h"
#include "style/motion/AnimatedValue.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"
#include "viewer/photo/SoftImage.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace pivra {
namespace {

constexpr int gridThumbnailPixels = 420;
constexpr double thumbnailShare = 0.72;
constexpr int cardEntranceDelayMilliseconds = 80;
constexpr int messageWidth = 260;
// Qt keeps font sizes in whole pixels (it rounds any other size), so the
// 12.5-pixel message is set at 12 and drawn scaled up to 12.5.
constexpr int messageFontPixels = 12;
constexpr double messageScale = 12.5 / messageFontPixels;

constexpr int shadowSpread = 30;

// A soft black shadow of a rounded rectangle of `size`, spread around it.
QImage shadowImage(QSize size)
{
    QImage shape(size + QSize(2 * shadowSpread, 2 * shadowSpread), QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(QPointF(shadowSpread, shadowSpread), QSizeF(size)), 10, 10);
    painter.fillPath(rounded, QColor::fromRgbF(0, 0, 0, 0.45f));
    painter.end();
    return softImage(shape, shape.size(), shadowSpread, false);
}

QRectF fittedInside(QSizeF picture, const QRectF& bounds)
{
    const QSizeF size = picture.scaled(bounds.size(), Qt::KeepAspectRatio);
    return {bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2, size.width(),
            size.height()};
}

} // namespace

DisconnectedNotice DisconnectedNotice::of(bool locked, bool isCamera, const QString& sourceName)
{
    if (locked) {
        return {QStringLiteral("lock.iphone"), QStringLiteral("Unlock your iPhone"),
                u"Unlock \u201c" + sourceName + u"\u201d to open this original."};
    }
    if (isCamera) {
        return {QStringLiteral("iphone.slash"), QStringLiteral("Disconnected"),
                u"Connect and unlock " + sourceName + u" to open this original."};
    }
    return {QStringLiteral("externaldrive.badge.xmark"), QStringLiteral("Disconnected"),
            sourceName + u" isn't connected. Plug it in to open the original; this is the saved preview."};
}

DisconnectedPreview::DisconnectedPreview(const MediaItem& item, const QString& sourceName, bool isCamera,
                                         bool locked, ThumbnailStore& thumbnails, QWidget* parent)
    : QWidget(parent)
    , item_(item)
    , notice_(DisconnectedNotice::of(locked, isCamera, sourceName))
    , thumbnails_(thumbnails)
    , appeared_(new AnimatedValue(this, curves::spring<420, 860>(), 0))
{
    setObjectName(QStringLiteral("disconnectedPreview"));
}

double DisconnectedPreview::appearance() const { return appeared_->value(); }

// The saved picture is asked for before the card's entrance starts, so one
// found in memory is there before the card moves.
void DisconnectedPreview::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (asked_) {
        return;
    }
    asked_ = true;
    thumbnails_.request(item_, gridThumbnailPixels, [self = QPointer(this)](const QImage& image) {
        if (!self) {
            return;
        }
        self->image_ = image;
        self->backdrop_ = {};
        self->thumbnail_ = {};
        self->update();
        Q_EMIT self->pictureAnswered();
    });
    if (Motion::reduced()) {
        appeared_->animateTo(1);
        return;
    }
    QTimer::singleShot(cardEntranceDelayMilliseconds, this, [this] { appeared_->animateTo(1); });
}

void DisconnectedPreview::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    backdrop_ = {};
    thumbnail_ = {};
    shadow_ = {};
}

void DisconnectedPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect());
    if (!image_.isNull()) {
        if (backdrop_.size() != size()) {
            backdrop_ = softImage(image_, size(), 40, true);
        }
        painter.drawImage(0, 0, backdrop_);
        painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.35f));

        // The thumbnail turns as the item does; the backdrop does not.
        const int quarters = item_.rotationQuarters();
        const QSizeF turned = quarters % 2 != 0 ? QSizeF(image_.size()).transposed() : QSizeF(image_.size());
        const QRectF bounds(width() * (1 - thumbnailShare) / 2, height() * (1 - thumbnailShare) / 2,
                            width() * thumbnailShare, height() * thumbnailShare);
        const QRectF shown = fittedInside(turned, bounds);
        const QSizeF unturned = quarters % 2 != 0 ? shown.size().transposed() : shown.size();
        if (thumbnail_.size() != unturned.toSize()) {
            thumbnail_ = softImage(image_, unturned.toSize(), 6, false);
        }
        if (shadow_.isNull() || shadowFor_ != shown.size().toSize()) {
            shadow_ = shadowImage(shown.size().toSize());
            shadowFor_ = shown.size().toSize();
        }
        painter.drawImage(shown.topLeft() + QPointF(-shadowSpread, 14 - shadowSpread), shadow_);

        painter.save();
        painter.translate(shown.center());
        painter.rotate(quarters * 90.0);
        const QRectF local(-unturned.width() / 2, -unturned.height() / 2, unturned.width(), unturned.height());
        QPainterPath clip;
        clip.addRoundedRect(local, 10, 10);
        painter.setClipPath(clip, Qt::IntersectClip);
        painter.setOpacity(0.85);
        painter.drawImage(local, thumbnail_);
        painter.restore();
    }
    paintCard(painter);
}

// The card keeps its dark look whatever the window's scheme.
void DisconnectedPreview::paintCard(QPainter& painter)
{
    const QFont titleFont = PivraFonts::font(17, QFont::DemiBold);
    const QFont messageFont = PivraFonts::font(messageFontPixels);
    const QFontMetricsF titleMetrics(titleFont);
    const QFontMetricsF messageMetrics(messageFont);
    const int messageFlags = Qt::AlignHCenter | Qt::TextWordWrap;
    const QRectF unscaledMessage(0, 0, messageWidth / messageScale, 1000);
    const QSizeF messageSize
        = messageMetrics.boundingRect(unscaledMessage, messageFlags, notice_.message).size() * messageScale;
    const double symbolSide = 26;
    const double contentWidth = std::max({symbolSide, titleMetrics.horizontalAdvance(notice_.title),
                                          messageSize.width()});
    const double contentHeight = symbolSide + 10 + titleMetrics.height() + 10 + messageSize.height();
    const QSizeF cardSize(contentWidth + 48, contentHeight + 40);
    const QRectF card(width() / 2.0 - cardSize.width() / 2, height() / 2.0 - cardSize.height() / 2,
                      cardSize.width(), cardSize.height());

    const double shown = appeared_->value();
    painter.save();
    painter.setOpacity(shown);
    painter.translate(card.center());
    painter.scale(0.96 + 0.04 * shown, 0.96 + 0.04 * shown);
    painter.translate(-card.center());

    QPainterPath shape;
    shape.addRoundedRect(card, 18, 18);
    painter.fillPath(shape, QColor::fromRgbF(0.11f, 0.11f, 0.12f, 0.72f));
    painter.strokePath(shape, QPen(QColor::fromRgbF(1, 1, 1, 0.14f), 1));

    double y = card.top() + 20;
    const QPixmap symbol = Symbols::pixmap(notice_.symbol, QSize(26, 26), Qt::white, devicePixelRatioF());
    painter.drawPixmap(QRectF(card.center().x() - symbolSide / 2, y, symbolSide, symbolSide), symbol,
                       QRectF(symbol.rect()));
    y += symbolSide + 10;
    painter.setPen(Qt::white);
    painter.setFont(titleFont);
    painter.drawText(QRectF(card.left(), y, card.width(), titleMetrics.height()), Qt::AlignHCenter, notice_.title);
    y += titleMetrics.height() + 10;
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.75f));
    painter.setFont(messageFont);
    painter.translate(card.center().x() - messageWidth / 2.0, y);
    painter.scale(messageScale, messageScale);
    painter.drawText(QRectF(0, 0, unscaledMessage.width(), messageSize.height() / messageScale), messageFlags,
                     notice_.message);
    painter.restore();
}

} // namespace pivra
