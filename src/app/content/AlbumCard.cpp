#include "app/content/AlbumCard.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"
#include "media/thumbnails/ThumbnailStore.h"

#include <QContextMenuEvent>
#include <QLinearGradient>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

namespace pivra {
namespace {

constexpr int gradientHeight = 78;
constexpr int textInset = 12;
constexpr int lineSpacing = 2;
constexpr int placeholderSize = 30;


} // namespace

const QColor AlbumCard::background = PivraAppearance::rgb8(0.25, 0.25, 0.27);

AlbumCard::AlbumCard(Album album, ThumbnailStore& thumbnails, QWidget* parent)
    : QAbstractButton(parent), album_(std::move(album)), thumbnails_(thumbnails)
{
    setCursor(Qt::PointingHandCursor);
    // A screen reader reads the count without grouping; both texts keep
    // "items" for every count, one included, as the window header does.
    setAccessibleName(album_.name + u", " + QString::number(album_.itemCount) + u" items");
}

AlbumCard::~AlbumCard()
{
    if (operation_) {
        operation_->cancel();
    }
}

QString AlbumCard::countText() const { return QLocale().toString(album_.itemCount) + u" items"; }

void AlbumCard::setOnScreen(bool onScreen)
{
    if (onScreen == onScreen_) {
        return;
    }
    onScreen_ = onScreen;
    if (onScreen_) {
        requestCover();
    } else if (operation_) {
        operation_->cancel();
    }
}

void AlbumCard::requestCover()
{
    if (!album_.cover) {
        return;
    }
    // A memory hit answers inside the call, before the operation is kept. A
    // device item is asked of its device, which returns no operation.
    operation_ = thumbnails_.request(*album_.cover, coverPixels, [card = QPointer<AlbumCard>(this)](const QImage& image) {
        if (card && !image.isNull()) {
            card->cover_ = image;
            card->update();
        }
    });
}

QMenu* AlbumCard::menu()
{
    if (!menu_) {
        menu_ = new QMenu(this);
        menu_->addAction(QStringLiteral("Rename Album…"), this, [this] { Q_EMIT renameRequested(album_); });
        menu_->addAction(QStringLiteral("Delete Album"), this, [this] { Q_EMIT deleteRequested(album_); });
    }
    return menu_;
}

void AlbumCard::contextMenuEvent(QContextMenuEvent* event) { menu()->popup(event->globalPos()); }

void AlbumCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds = rect();
    QPainterPath clip;
    clip.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.setClipPath(clip);
    painter.fillRect(bounds, background);

    if (!album_.cover) {
        const QSize size(placeholderSize, placeholderSize);
        const QPixmap symbol = Symbols::pixmap(QStringLiteral("photo.on.rectangle.angled"), size,
                                               QColor::fromRgbF(1, 1, 1, 0.35f), devicePixelRatioF());
        painter.drawPixmap(QRectF(QPointF(), QSizeF(size)).translated(bounds.center() - QPointF(size.width(), size.height()) / 2),
                           symbol, symbol.rect());
    } else if (!cover_.isNull()) {
        // Filled: the image's middle, cut to the card's shape.
        QRectF cut;
        const double scale = std::min(cover_.width() / bounds.width(), cover_.height() / bounds.height());
        cut.setSize(bounds.size() * scale);
        cut.moveCenter(QRectF(cover_.rect()).center());
        painter.drawImage(bounds, cover_, cut);
    }

    QLinearGradient shade(0, bounds.height() - gradientHeight, 0, bounds.height());
    shade.setColorAt(0, Qt::transparent);
    shade.setColorAt(1, QColor::fromRgbF(0, 0, 0, 0.7f));
    painter.fillRect(QRectF(0, bounds.height() - gradientHeight, bounds.width(), gradientHeight), shade);

    const QFont nameFont = PivraFonts::font(13, QFont::DemiBold);
    const QFont countFont = PivraFonts::font(10, QFont::Normal);
    const QFontMetricsF nameMetrics(nameFont);
    const QFontMetricsF countMetrics(countFont);
    const double textWidth = bounds.width() - 2 * textInset;
    const double countTop = bounds.height() - textInset - countMetrics.height();
    const double nameTop = countTop - lineSpacing - nameMetrics.height();
    painter.setPen(Qt::white);
    painter.setFont(nameFont);
    painter.drawText(QRectF(textInset, nameTop, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     nameMetrics.elidedText(album_.name, Qt::ElideRight, textWidth));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.78f));
    painter.setFont(countFont);
    painter.drawText(QRectF(textInset, countTop, textWidth, countMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     countMetrics.elidedText(countText(), Qt::ElideRight, textWidth));
}

} // namespace pivra
