#pragma once

#include "catalog/model/LibrarySource.h"
#include "catalog/model/ThumbnailStatus.h"

#include <QColor>
#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>

namespace pivra {

// The dot at the end of a source's row. A source is preparing while it is
// being indexed or any of its thumbnails still waits to be made (one that
// failed does not wait), and also while it has items but no count yet says so.
enum class SourceStatus { disconnected, preparing, ready };

SourceStatus sourceStatus(const LibrarySource& source, const QSet<QUuid>& scanning,
                          const QHash<QUuid, ThumbnailStatus>& thumbnails);
// "Disconnected", "Preparing media", "Connected and ready".
QString statusText(SourceStatus status);
// Red, orange or green in the scheme's shade.
QColor statusColor(SourceStatus status, bool dark);

} // namespace pivra
