#pragma once

#include "map/view/MapCamera.h"

#include <QElapsedTimer>
#include <QMargins>
#include <QPointF>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QToolButton;

namespace pivra {

class BaseMapTiles;
class RasterTiles;

// Our map widget: the offline base map, raster tiles over it when a tile
// server is set, and whatever the owner paints on top (the photo pins). It
// pans by drag with a flick that runs on, zooms by wheel, pinch, double
// click (each about the pointer) and its two buttons. regionChanged reports
// each move once it has settled: the end of a drag or flick, a pause in
// wheel or pinch zooming, a button, or a move made in code.
//
// The strips the window's header and sidebar cover (`coveredInsets`) belong
// to them: presses there are left to whatever lies over the map.
class MapView : public QWidget {
    Q_OBJECT

public:
    // How long wheel and pinch zooming must rest before the region counts
    // as changed.
    static constexpr int settleMilliseconds = 100;

    explicit MapView(QWidget* parent = nullptr);
    ~MapView() override;

    const MapCamera& camera() const { return camera_; }
    MapRect visibleMapRect() const { return camera_.visibleRect(); }
    // The deepest zoom the drawn map alone has names and coasts for: closer
    // in, without raster tiles, the view shows a blank stretch of land.
    static constexpr double baseMapDetailZoom = 11;

    // Shows `rect` as large as fits inside the padding, but no closer than
    // the map has detail for (baseMapDetailZoom without raster tiles), not
    // animated, then reports the change.
    void setVisibleMapRect(const MapRect& rect, const QMarginsF& padding);
    void setCamera(MapPoint center, double zoom);
    // Moves the map with the pointer, as a drag does; the region counts as
    // changed only when the drag ends.
    void panBy(QPointF pixels);

    QMargins coveredInsets() const { return covered_; }
    void setCoveredInsets(const QMargins& insets);

    // Raster tiles drawn over the base map: a URL with {z}, {x} and {y} (and
    // optionally {s}), or empty for the base map alone.
    void setTileURL(const QString& urlTemplate);
    RasterTiles* rasterTiles() const { return raster_; }
    BaseMapTiles* baseTiles() const { return base_; }
    // A line under the attribution, such as why no imagery shows.
    void setNotice(const QString& notice);
    QString attribution() const;

    // Paints over the map, after the tiles, in widget coordinates.
    void setOverlay(std::function<void(QPainter&)> overlay) { overlay_ = std::move(overlay); }

    // What screen readers are told lies on the map (the pins), asked afresh
    // at each question; pressing one does what a click would.
    struct AccessiblePart {
        QString name;
        QRect rect;
        std::function<void()> press;
    };
    void setAccessibleParts(std::function<std::vector<AccessiblePart>()> parts) { parts_ = std::move(parts); }
    std::vector<AccessiblePart> accessibleParts() const { return parts_ ? parts_() : std::vector<AccessiblePart>{}; }
    // The parts mean something else now: readers ask again.
    void accessiblePartsChanged();

    QToolButton* zoomInButton() const { return zoomIn_; }
    QToolButton* zoomOutButton() const { return zoomOut_; }

Q_SIGNALS:
    void regionChanged();
    // A press and release without a drag, where the map takes the pointer.
    void clicked(QPointF position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void tintButtons();
    bool covers(QPointF position) const;
    void zoomBy(QPointF about, double steps, bool settleLater);
    void flickStep();
    void drawTiles(QPainter& painter);
    void drawAttribution(QPainter& painter);
    void placeButtons();

    MapCamera camera_;
    BaseMapTiles* base_;
    RasterTiles* raster_ = nullptr;
    QToolButton* zoomIn_;
    QToolButton* zoomOut_;
    QMargins covered_;
    QString notice_;
    std::function<void(QPainter&)> overlay_;
    std::function<std::vector<AccessiblePart>()> parts_;

    QTimer settle_;
    QTimer flick_;
    QPointF pressedAt_;
    QPointF lastPosition_;
    QPointF velocity_; // pixels per millisecond
    QElapsedTimer sinceMove_;
    bool pressed_ = false;
    bool dragging_ = false;
};

} // namespace pivra
