#pragma once

#include <QAbstractButton>
#include <QString>

namespace pivra {

// A button of the transport row: a symbol in the palette's text colour,
// centred in a 34 by 34 frame that takes clicks everywhere, no chrome of its
// own, dimmed while pressed. Its help is its tooltip and accessible name.
class TransportButton final : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int side = 34;
    static constexpr int symbolSide = 17; // the row's 15-point medium symbols

    TransportButton(const QString& symbol, const QString& help, QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    QString help() const { return toolTip(); }
    void setHelp(const QString& help);

    QSize sizeHint() const override { return {side, side}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
};

} // namespace pivra
