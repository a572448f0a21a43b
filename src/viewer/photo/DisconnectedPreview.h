#pragma once

#include "catalog/model/MediaItem.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace pivra {

class AnimatedValue;
class ThumbnailStore;

// Why an original cannot be opened and what to do about it.
struct DisconnectedNotice {
    QString symbol;
    QString title;
    QString message;

    // `locked` wins over `isCamera`: a connected but locked device.
    static DisconnectedNotice of(bool locked, bool isCamera, const QString& sourceName);
};

// What the viewer shows for an item whose original is out of reach (its
// folder is offline, its device disconnected or locked): the saved grid
// thumbnail blurred and dimmed over the whole area, the same thumbnail turned
// as the item is turned, softened, and a small dark card with the reason in
// front. Without a saved thumbnail the card stands alone.
class DisconnectedPreview : public QWidget {
    Q_OBJECT

public:
    DisconnectedPreview(const MediaItem& item, const QString& sourceName, bool isCamera, bool locked,
                        ThumbnailStore& thumbnails, QWidget* parent = nullptr);

    const DisconnectedNotice& notice() const { return notice_; }
    bool hasPicture() const { return !image_.isNull(); }
    // 0 before the card's entrance, 1 once it is in.
    double appearance() const;

Q_SIGNALS:
    // The saved thumbnail's answer came, with or without a picture.
    void pictureAnswered();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void paintCard(QPainter& painter);

    MediaItem item_;
    DisconnectedNotice notice_;
    ThumbnailStore& thumbnails_;
    QImage image_;
    QImage backdrop_;  // blurred at the widget's size
    QImage thumbnail_; // softened at its fitted size
    QImage shadow_;    // under the thumbnail
    QSize shadowFor_;
    bool asked_ = false;
    AnimatedValue* appeared_;
};

} // namespace pivra
