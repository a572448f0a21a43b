#pragma once

#include "catalog/model/MediaItem.h"
#include "viewer/photo/PhotoViewportTransform.h"

#include <QWidget>

#include <optional>

class QLabel;

namespace pivra {

class ElidedLabel;
class ViewerButton;
class ZoomOverview;
class ZoomSlider;

// The bar over the top of the viewer: close, the item's name (with its date
// and place in full screen), the zoom cluster, then favourite, the Live
// Photo's play and loop, the two rotations, information and full screen.
// It shows what it is given and reports presses; the viewer acts on them.
class ViewerTopBar : public QWidget {
    Q_OBJECT

public:
    explicit ViewerTopBar(QWidget* parent = nullptr);

    // "101%" for 1.006: the zoom in whole percent, halves away from zero.
    static QString percentText(double zoom);

    void setItem(const MediaItem& item);
    void setFullscreen(bool fullscreen);
    void setShowInfo(bool shown);
    void setPlaying(bool playing);
    void setLiveLoops(bool loops);
    void setLocation(const std::optional<QString>& location);
    void setViewport(const PhotoViewportTransform& viewport);

    // For tests and readers: the parts by role.
    ViewerButton* closeButton() const { return close_; }
    ViewerButton* favoriteButton() const { return favorite_; }
    ViewerButton* livePlayButton() const { return livePlay_; }
    ViewerButton* loopButton() const { return loop_; }
    ViewerButton* rotateLeftButton() const { return rotateLeft_; }
    ViewerButton* rotateRightButton() const { return rotateRight_; }
    ViewerButton* infoButton() const { return info_; }
    ViewerButton* fullscreenButton() const { return fullscreenButton_; }
    ZoomSlider* slider() const { return slider_; }
    ZoomOverview* overview() const { return overview_; }
    QWidget* zoomCapsule() const { return capsule_; }
    QWidget* dateLine() const { return dateLine_; }
    ElidedLabel* title() const { return name_; }
    QString percentShown() const;

Q_SIGNALS:
    void closeRequested();
    void favoriteRequested();
    void livePlayRequested();
    void loopRequested();
    void rotateRequested(int quarters);
    void infoRequested();
    void fullscreenRequested();
    void zoomStepRequested(double step);
    void zoomRequested(double zoom, bool animated);
    void hoverChanged(bool hovered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ViewerButton* roundButton(const QString& symbol, const QString& help);
    QWidget* makeZoomCluster();
    QWidget* makeTitleBlock();
    void updateMargins();
    void updateKindButtons();
    void placeOverview();

    MediaItem item_;
    bool fullscreen_ = false;
    bool showInfo_ = false;
    bool playing_ = false;
    bool liveLoops_ = false;

    ViewerButton* close_;
    ElidedLabel* name_ = nullptr;
    QWidget* dateLine_ = nullptr;
    QLabel* date_ = nullptr;
    QWidget* locationLine_ = nullptr;
    QLabel* location_ = nullptr;
    QWidget* capsule_ = nullptr;
    ZoomSlider* slider_ = nullptr;
    QLabel* percent_ = nullptr;
    ZoomOverview* overview_ = nullptr;
    ViewerButton* favorite_;
    ViewerButton* livePlay_;
    ViewerButton* loop_;
    ViewerButton* rotateLeft_;
    ViewerButton* rotateRight_;
    ViewerButton* info_;
    ViewerButton* fullscreenButton_;
};

} // namespace pivra
