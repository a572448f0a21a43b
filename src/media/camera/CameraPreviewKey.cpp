#include "media/camera/CameraPreviewKey.h"

#include "media/thumbnails/MediaKey.h"

namespace pivra {

QString cameraPreviewKey(const MediaItem& item, int pixels)
{
    return digestText(QStringLiteral("camera-preview-v1:") + item.id() + QLatin1Char(':') +
                      QString::number(item.fileSize()) + QLatin1Char(':') + timeText(item.modifiedAt()) +
                      QLatin1Char(':') + QString::number(pixels));
}

QString cameraPreviewFile(const ThumbnailLocations& locations, const QString& key, int pixels)
{
    if (pixels == gridPixels) {
        return locations.gridFile(key);
    }
    return locations.viewerDirectory + QLatin1Char('/') + key + QStringLiteral(".jpg");
}

} // namespace pivra
