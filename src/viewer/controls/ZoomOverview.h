#pragma once

#include <QRectF>
#include <QWidget>

namespace pivra {

// A 64 by 42 mini-map of a zoomed photo: the whole picture as a faint
// rounded frame, and the part on screen as a bright rectangle inside it.
class ZoomOverview : public QWidget {
    Q_OBJECT

public:
    explicit ZoomOverview(QWidget* parent = nullptr);

    // `region` in unit coordinates of the picture; `aspectRatio` its width
    // over height as shown.
    void setRegion(const QRectF& region, double aspectRatio);

    // The picture's frame inside `size` for an aspect ratio (taken as at
    // least 0.05), centred.
    static QRectF pictureFrame(QSizeF size, double aspectRatio);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF region_{0, 0, 1, 1};
    double aspectRatio_ = 1;
};

} // namespace pivra
