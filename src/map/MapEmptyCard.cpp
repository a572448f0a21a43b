#include "map/MapEmptyCard.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/Symbols.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace pivra {

namespace {

constexpr int symbolSize = 26;
constexpr int explanationWidth = 280;
constexpr double cornerRadius = 16;
// The translucent panel stands in for a frosted one: the canvas at this
// opacity over the map.
constexpr double panelOpacity = 0.88;

} // namespace

MapEmptyCard::MapEmptyCard(QWidget* parent)
    : QWidget(parent), symbol_(new QLabel), title_(new QLabel), explanation_(new QLabel)
{
    setObjectName(QStringLiteral("mapEmptyCard"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 20);
    column->setSpacing(8);
    QFont titleFont = font();
    titleFont.setPixelSize(15);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    QFont textFont = font();
    textFont.setPixelSize(12);
    explanation_->setFont(textFont);
    explanation_->setWordWrap(true);
    explanation_->setFixedWidth(explanationWidth);
    explanation_->setText(QStringLiteral("Photos and videos appear here when the iPhone or camera that took them "
                                         "recorded where they were taken."));
    for (QLabel* label : {symbol_, title_, explanation_}) {
        label->setAlignment(Qt::AlignHCenter);
        column->addWidget(label, 0, Qt::AlignHCenter);
    }
    applyColors();
    setReading(false);
}

void MapEmptyCard::setReading(bool reading)
{
    title_->setText(reading ? QStringLiteral("Reading locations…") : QStringLiteral("No photos with a location yet"));
    adjustSize();
}

QString MapEmptyCard::title() const
{
    return title_->text();
}

void MapEmptyCard::applyColors()
{
    symbol_->setPixmap(Symbols::pixmap(QStringLiteral("map"), QSize(symbolSize, symbolSize),
                                       PivraAppearance::primary(palette(), 0.85), devicePixelRatioF()));
    QPalette secondary = explanation_->palette();
    secondary.setColor(QPalette::WindowText, PivraAppearance::primary(palette(), 0.55));
    explanation_->setPalette(secondary);
}

void MapEmptyCard::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColors();
    }
}

void MapEmptyCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor panel = PivraAppearance::canvas(PivraAppearance::isDark(palette()));
    panel.setAlphaF(panelOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, panel);
}

} // namespace pivra
