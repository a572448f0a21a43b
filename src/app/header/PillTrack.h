#pragma once

#include "style/appearance/Material.h"

#include <QStringList>
#include <QVariantAnimation>
#include <QWidget>

namespace pivra {

// A capsule track of equal pills, one per choice, with a highlight capsule
// behind the chosen one that slides to the next choice on a spring. The
// choice only changes through setSelected(): a click just reports the pill.
// Tab brings the keyboard to the chosen pill, the arrow keys move it along
// the track and Space or Enter presses the pill it is on; readers hear each
// pill as a radio button, checked while it is the choice.
class PillTrack final : public QWidget {
    Q_OBJECT

public:
    struct Look {
        int width = 225;
        // Highlight fill as the text colour's opacity, per scheme.
        double highlightDark = 0.14;
        double highlightLight = 0.09;
        // A track of frosted material laid over a map, else a faint tint of
        // the text colour.
        bool overMap = false;
    };

    PillTrack(QStringList labels, Look look, QWidget* parent = nullptr);

    int selected() const { return selected_; }
    void setSelected(int index);
    // The pill whose label is `label`, or -1.
    int indexOf(const QString& label) const { return labels_.indexOf(label); }
    const QStringList& labels() const { return labels_; }
    QRect pillRect(int index) const;
    // The pill the keyboard is on.
    int focusedPill() const { return focused_; }
    // Reports `index` as a click on it does.
    void press(int index);

    QSize sizeHint() const override;
    // What a track over a map lies over, shown blurred through it.
    void setBeneath(QWidget* beneath) { material_.setBeneath(beneath); }

Q_SIGNALS:
    void clicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int pillAt(const QPoint& point) const;
    void focusPill(int index);

    QStringList labels_;
    Look look_;
    int selected_ = 0;
    int pressed_ = -1;
    int focused_ = 0;
    double highlight_ = 0; // the pill index the highlight stands over
    QVariantAnimation motion_;
    Material material_;
};

} // namespace pivra
