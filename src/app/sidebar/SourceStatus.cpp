#include "app/sidebar/SourceStatus.h"

#include "style/appearance/PivraAppearance.h"

namespace pivra {

SourceStatus sourceStatus(const LibrarySource& source, const QSet<QUuid>& scanning,
                          const QHash<QUuid, ThumbnailStatus>& thumbnails)
{
    if (!source.isOnline) {
        return SourceStatus::disconnected;
    }
    if (scanning.contains(source.id)) {
        return SourceStatus::preparing;
    }
    // A file whose thumbnail failed is done with: counted as waiting, one
    // corrupt photo would keep its source preparing for ever, while the
    // Storage tab, which counts only what waits, calls it ready.
    const auto counts = thumbnails.constFind(source.id);
    if (counts != thumbnails.constEnd() && (counts->pending > 0 || counts->total == 0)) {
        return SourceStatus::preparing;
    }
    return SourceStatus::ready;
}

QString statusText(SourceStatus status)
{
    switch (status) {
    case SourceStatus::disconnected:
        return QStringLiteral("Disconnected");
    case SourceStatus::preparing:
        return QStringLiteral("Preparing media");
    case SourceStatus::ready:
        break;
    }
    return QStringLiteral("Connected and ready");
}

QColor statusColor(SourceStatus status, bool dark)
{
    switch (status) {
    case SourceStatus::disconnected:
        return PivraAppearance::systemRed(dark);
    case SourceStatus::preparing:
        return dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xFF, 0x95, 0x00);
    case SourceStatus::ready:
        break;
    }
    return dark ? QColor(0x30, 0xD1, 0x58) : QColor(0x34, 0xC7, 0x59);
}

} // namespace pivra
