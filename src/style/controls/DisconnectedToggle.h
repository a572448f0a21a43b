#pragma once

#include "style/motion/AnimatedValue.h"

#include <QAbstractButton>

namespace pivra {

// The header's switch that shows or hides the media of disconnected sources:
// a drive symbol, with a red dot while any source is offline, beside a small
// switch, in a faint capsule 28 high. Clicking flips `isChecked()`; the knob
// slides on a spring. Readers hear one button, "Show disconnected", whose
// value is "On" or "Off".
class DisconnectedToggle final : public QAbstractButton {
public:
    explicit DisconnectedToggle(QWidget* parent = nullptr);

    // Only whether it is above zero shows: the red dot.
    void setOfflineCount(int count);
    int offlineCount() const { return offlineCount_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void describe();

    HoverState hover_;
    AnimatedValue knob_;
    int offlineCount_ = 0;
};

} // namespace pivra
