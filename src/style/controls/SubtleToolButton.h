#pragma once

#include "style/motion/AnimatedValue.h"

#include <QAbstractButton>

namespace pivra {

// The header's quiet button (`SubtleToolbarButtonStyle`): no chrome until
// the pointer is over it, then a faint capsule that darkens while pressed,
// the button shrinking to 0.94 on a spring. It draws its symbol and text in
// whatever colour its palette's ButtonText gives at the time it paints, so a
// change of scheme needs nothing of its owner; disabled, it fades to 0.45
// and shows no hover.
class SubtleToolButton final : public QAbstractButton {
    Q_OBJECT

public:
    explicit SubtleToolButton(QWidget* parent = nullptr);

    // The bundled symbol shown at iconSize() before the text.
    void setSymbol(const QString& name);
    const QString& symbol() const { return symbol_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    HoverState hover_;
    AnimatedValue scale_;
};

} // namespace pivra
