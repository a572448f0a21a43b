#include "app/header/DensityControl.h"

#include "app/header/HeaderModel.h"
#include "app/header/SymbolButton.h"
#include "style/appearance/PivraAppearance.h"
#include "app/window/LibraryWindow.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPainter>
#include <QShortcut>

namespace pivra {

namespace {

constexpr int buttonSide = 28;
constexpr int spacing = 6;

} // namespace

DensityControl::DensityControl(LibraryWindow& window, QWidget* parent)
    : QWidget(parent)
    , window_(window)
    , smaller_(symbolButton(QStringLiteral("minus"), QStringLiteral("Smaller thumbnails"), 11, this))
    , larger_(symbolButton(QStringLiteral("plus"), QStringLiteral("Larger thumbnails"), 11, this))
{
    setFixedHeight(sizeHint().height());
    smaller_->setGeometry(0, 0, buttonSide, buttonSide);
    larger_->setGeometry(buttonSide + spacing, 0, buttonSide, buttonSide);
    connect(smaller_, &QAbstractButton::clicked, this, [this] { step(false); });
    connect(larger_, &QAbstractButton::clicked, this, [this] { step(true); });
    // "=" needs Shift on some layouts, where the key gives "+".
    for (const auto& [keys, up] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_Minus), false},
             std::pair{QKeySequence(Qt::CTRL | Qt::Key_Equal), true},
             std::pair{QKeySequence(Qt::CTRL | Qt::Key_Plus), true}}) {
        keys_.append(new QShortcut(keys, parent ? parent : this));
        connect(keys_.last(), &QShortcut::activated, this, [this, up = up] { step(up); });
    }
    connect(&window_, &LibraryWindow::rowHeightChanged, this, &DensityControl::refresh);
    refresh();
}

QSize DensityControl::sizeHint() const
{
    return {2 * buttonSide + spacing, buttonSide};
}

void DensityControl::setKeysEnabled(bool enabled)
{
    for (QShortcut* key : keys_) {
        key->setEnabled(enabled);
    }
}

void DensityControl::step(bool up)
{
    const double height = RowHeight::validated(window_.rowHeight());
    if (const std::optional<double> target = up ? RowHeight::larger(height) : RowHeight::smaller(height)) {
        window_.setRowHeight(*target);
    }
}

void DensityControl::refresh()
{
    const double height = RowHeight::validated(window_.rowHeight());
    smaller_->setEnabled(RowHeight::smaller(height).has_value());
    larger_->setEnabled(RowHeight::larger(height).has_value());
}

// Each button sits on a faint disc with a faint ring.
void DensityControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(PivraAppearance::primary(palette(), 0.08), 1));
    painter.setBrush(PivraAppearance::primary(palette(), 0.045));
    for (const QAbstractButton* button : {smaller_, larger_}) {
        painter.drawEllipse(QRectF(button->geometry()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace pivra
