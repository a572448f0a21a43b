#include "gallery/drag/MediaDragPreview.h"

#include "gallery/TileBadges.h"
#include "gallery/drag/DeviceOriginalCopy.h"
#include "gallery/drag/MediaPasteboard.h"
#include "media/thumbnails/ThumbnailStore.h"

#include <QDrag>
#include <QFileIconProvider>
#include <QIcon>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>

#include <algorithm>

namespace pivra::MediaDragPreview {

namespace {

constexpr int iconSide = 64;

// The type's themed icon, else the style's plain file icon. The type comes
// from the name alone: reading the file to tell would wait on its disk or
// device on the GUI thread.
QPixmap fileIcon(const MediaItem& item)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(item.name(), QMimeDatabase::MatchExtension);
    const QIcon fallback = QFileIconProvider().icon(QFileIconProvider::File);
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback))
        .pixmap(QSize(iconSide, iconSide));
}

// The picture with the caption centred under it, on a transparent ground.
QPixmap withCaption(const QPixmap& picture, const QString& text)
{
    constexpr double gap = 4;
    const QFont font = semiboldFont(11);
    const QString padded = u"  " + text + u"  ";
    const QSizeF pill = textPillSize(padded, font);
    const QSizeF pictureSize = picture.deviceIndependentSize();
    const QSizeF size(std::max(pictureSize.width(), pill.width()), pictureSize.height() + gap + pill.height());
    const qreal ratio = picture.devicePixelRatio();
    QPixmap composed((size * ratio).toSize());
    composed.setDevicePixelRatio(ratio);
    composed.fill(Qt::transparent);
    QPainter painter(&composed);
    painter.drawPixmap(QPointF((size.width() - pictureSize.width()) / 2, 0), picture);
    paintTextPill(painter, QRectF(QPointF((size.width() - pill.width()) / 2, pictureSize.height() + gap), pill),
                  padded, font);
    return composed;
}

} // namespace

QSizeF scaledSize(QSizeF source, double maxSide)
{
    const double longest = std::max(source.width(), source.height());
    if (longest > 0 && maxSide / longest < 1) {
        source *= maxSide / longest;
    }
    return {std::max(source.width(), 1.0), std::max(source.height(), 1.0)};
}

QPixmap image(ThumbnailStore& thumbnails, const MediaItem& item, double maxSide)
{
    const QImage cached = thumbnails.cachedPreview(item);
    const QPixmap source = cached.isNull() ? fileIcon(item) : QPixmap::fromImage(cached);
    if (source.isNull()) {
        return {};
    }
    const QSize size = scaledSize(source.deviceIndependentSize(), maxSide).toSize();
    if (size == source.deviceIndependentSize().toSize()) {
        return source;
    }
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString caption(const QDrag& drag)
{
    const std::shared_ptr<const DeviceOriginalCopy> copy =
        drag.mimeData() != nullptr ? MediaPasteboard::deviceCopy(*drag.mimeData()) : nullptr;
    if (!copy || copy->state() != DeviceOriginalCopy::State::copying) {
        return {};
    }
    return QStringLiteral("Copying %1%").arg(int(copy->fraction() * 100));
}

void show(QDrag& drag, ThumbnailStore& thumbnails, const MediaItem& item, double maxSide)
{
    const QPixmap picture = image(thumbnails, item, maxSide);
    const QSizeF pictureSize = picture.deviceIndependentSize();
    const QString text = caption(drag);
    drag.setPixmap(text.isEmpty() ? picture : withCaption(picture, text));
    // The pointer holds the picture by its middle, the caption hanging below.
    drag.setHotSpot(QPointF(drag.pixmap().deviceIndependentSize().width() / 2, pictureSize.height() / 2).toPoint());
}

} // namespace pivra::MediaDragPreview
