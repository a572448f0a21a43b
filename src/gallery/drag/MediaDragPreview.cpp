#include "gallery/drag/MediaDragPreview.h"

#include "media/thumbnails/ThumbnailStore.h"

#include <QDrag>
#include <QFileIconProvider>
#include <QIcon>
#include <QMimeDatabase>

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

void apply(QDrag& drag, const QPixmap& image)
{
    drag.setPixmap(image);
    drag.setHotSpot(QPoint(image.width() / 2, image.height() / 2));
}

void resize(QDrag& drag, ThumbnailStore& thumbnails, const MediaItem& item, double maxSide)
{
    apply(drag, image(thumbnails, item, maxSide));
}

} // namespace pivra::MediaDragPreview
