#pragma once

#include <QLabel>

namespace pivra {

// A one-line label that gives up width: given less than its text needs, it
// shows the text elided, so a long name never pushes the controls beside it
// out of their row. Its text stays whole, for tooltips and readers.
class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);

    // As far as it can shrink: room for the ellipsis alone.
    QSize minimumSizeHint() const override;
    // The text as it is drawn at the current width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode mode_;
};

} // namespace pivra
