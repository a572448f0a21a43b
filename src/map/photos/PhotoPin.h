#pragma once

#include "catalog/model/MapPhoto.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

namespace pivra {

class QueueOperation;
class ThumbnailStore;

// One pin of the photo map, drawn rather than a widget: a white rounded
// frame with a shadow holding the thumbnail of its representative photo
// (turned by the photo's rotation, aspect-filled), a tail pointing at the
// place, and a count badge when it stands for several photos. Its bottom
// edge sits on the place.
//
// show() takes the pin's representative and count. The image is asked of
// the thumbnail store once per representative; a new representative cancels
// the request still running, and an image that arrives for a photo the pin
// no longer shows is dropped. GUI thread.
class PhotoPin : public std::enable_shared_from_this<PhotoPin> {
public:
    static constexpr double width = 62;
    static constexpr double height = 70;
    static constexpr int thumbnailPixels = 420;

    // `changed` is called when an image arrived and the pin looks different.
    PhotoPin(ThumbnailStore& thumbnails, std::function<void()> changed);
    ~PhotoPin();

    PhotoPin(const PhotoPin&) = delete;
    PhotoPin& operator=(const PhotoPin&) = delete;

    void show(const MapPhoto& representative, int count);

    const std::optional<QString>& itemID() const { return itemID_; }
    int count() const { return count_; }
    // Empty while the badge is hidden (a pin of one photo).
    const QString& countText() const { return countText_; }
    // The photo's name for one photo, else "<count> photos".
    const QString& accessibleName() const { return accessibleName_; }
    bool hasImage() const { return !image_.isNull(); }
    int requestsMade() const { return requests_; }

    // Where the pin lies with its tail on `place`.
    static QRectF rectAt(QPointF place) { return {place.x() - width / 2, place.y() - height, width, height}; }
    void paint(QPainter& painter, QPointF place) const;

private:
    void takeImage(const QString& itemID, const QImage& image, int rotationQuarters, qreal ratio);

    ThumbnailStore& thumbnails_;
    std::function<void()> changed_;
    std::shared_ptr<QueueOperation> request_;
    std::optional<QString> itemID_;
    int count_ = 0;
    int requests_ = 0;
    QString countText_;
    QString accessibleName_;
    QImage image_; // the photo cut to the frame's inner square, at device size
};

} // namespace pivra
