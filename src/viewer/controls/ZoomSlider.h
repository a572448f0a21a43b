#pragma once

#include <QWidget>

#include <optional>

namespace pivra {

class AnimatedValue;

// A compact slider for the photo's zoom whose knob moves logarithmically:
// every doubling of the zoom moves it the same distance. A press away from
// the knob jumps there (animated) and goes on dragging from that point; a
// press on or near the knob grabs it where it is. The slider never keeps the
// zoom: it asks for a new one through zoomRequested, and shows what setZoom
// gives it.
class ZoomSlider : public QWidget {
    Q_OBJECT

public:
    static constexpr int fixedHeight = 22;

    explicit ZoomSlider(QWidget* parent = nullptr);

    // The knob position (0 to 1) of `zoom` in [low, high], pinned to the ends;
    // 0 when that is not a number.
    static double position(double zoom, double low, double high);
    // The zoom at knob position `t`, which is taken as 0 to 1.
    static double zoomAt(double t, double low, double high);

    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    void setRange(double low, double high);
    double low() const { return low_; }
    double high() const { return high_; }
    void setKnob(double diameter);
    double knob() const { return knob_; }
    // The knob's travel: the width less the knob, at least 1.
    double trackLength() const;
    bool isActive() const { return hovered_ || dragStart_.has_value(); }
    std::optional<double> dragStart() const { return dragStart_; }

    // A step of 0.25 up or down, kept inside the range, as the keyboard of
    // an assistive reader asks for.
    void stepBy(int direction);

Q_SIGNALS:
    // `animated` for a jump to a pressed position.
    void zoomRequested(double zoom, bool animated);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovered(bool hovered);
    void activityChanged();

    double zoom_ = 1;
    double low_ = 1;
    double high_ = 5;
    double knob_ = 12;
    bool hovered_ = false;
    std::optional<double> dragStart_;
    double pressX_ = 0;
    AnimatedValue* activity_; // 0 idle to 1 active: a thicker track, a larger knob
};

} // namespace pivra
