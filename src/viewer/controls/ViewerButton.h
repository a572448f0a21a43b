#pragma once

#include <QAbstractButton>
#include <QColor>

namespace pivra {

class AnimatedValue;

// The viewer's own buttons: a symbol on a shape of their kind, shrinking a
// little and dimming while pressed.
class ViewerButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Kind {
        round,      // 34 by 34, a faint white circle, symbol 16
        zoomStep,   // 24 by 28, no shape, symbol 12
        navigation, // 42 by 58, a dark rounded rectangle, symbol 19
    };

    ViewerButton(Kind kind, const QString& symbol, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    const QString& symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    void setTint(const QColor& tint);
    const QColor& tint() const { return tint_; }
    // The help text, also the name a reader gives the button.
    void setHelp(const QString& help);
    // A scale of the whole button about its centre, on top of the press.
    void setScale(double scale);

Q_SIGNALS:
    void hoverChanged(bool hovered);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Kind kind_;
    QString symbol_;
    QColor tint_ = Qt::white;
    double scale_ = 1;
    AnimatedValue* press_; // 0 released to 1 pressed
};

} // namespace pivra
