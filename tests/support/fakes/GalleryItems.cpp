#include "support/fakes/GalleryItems.h"

#include <QFileInfo>

namespace pivra::test {

MediaItem galleryPhoto(const QUuid& source, int index, QSize size, Timestamp captureDate)
{
    MediaItem item;
    const QString name = QStringLiteral("%1.jpg").arg(index);
    const QString path = u"/photos/" + name;
    item.setID(MediaItem::makeID(source, path));
    item.setSourceID(source);
    item.setPath(path);
    item.setName(name);
    item.setWidth(size.width());
    item.setHeight(size.height());
    item.setCaptureDate(captureDate);
    return item;
}

MediaItem fileVideo(const QString& path, QSize size, double seconds)
{
    MediaItem item;
    item.setID(QStringLiteral("clips:") + path);
    item.setKind(MediaKind::video);
    item.setPath(path);
    item.setName(QFileInfo(path).fileName());
    item.setWidth(size.width());
    item.setHeight(size.height());
    item.setDuration(seconds);
    item.setFileSize(QFileInfo(path).size());
    return item;
}

} // namespace pivra::test
