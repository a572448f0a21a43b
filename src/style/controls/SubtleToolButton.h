#pragma once

#include "style/motion/AnimatedValue.h"

#include <QAbstractButton>

namespace pivra {

// The header's quiet button (`SubtleToolbarButtonStyle`): no chrome until
// the pointer is over it, then a faint capsule that darkens while pressed,
// the button shrinking to 0.94 on a spring. It draws its icon and text in
// whatever colour its palette's ButtonText gives; disabled, it fades to 0.45
// and shows no hover.
class SubtleToolButton final : public QAbstractButton {
public:
    explicit SubtleToolButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    HoverState hover_;
    AnimatedValue scale_;
};

} // namespace pivra
