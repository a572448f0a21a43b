#include "support/fakes/GalleryItems.h"

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

} // namespace pivra::test
