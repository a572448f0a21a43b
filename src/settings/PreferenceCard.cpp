#include "settings/PreferenceCard.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace pivra {

namespace {

constexpr qreal panelRadius = 10;

// The card's rounded panel, drawn from the palette at paint time so a scheme
// change needs nothing of its own.
class CardPanel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF edge = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath shape;
        shape.addRoundedRect(edge, panelRadius - 0.5, panelRadius - 0.5);
        painter.fillPath(shape, PivraAppearance::primary(palette(), 0.04));
        painter.setPen(QPen(PivraAppearance::primary(palette(), 0.08), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawPath(shape);
    }
};

} // namespace

PreferenceDivider::PreferenceDivider(int inset, QWidget* parent)
    : QWidget(parent)
    , inset_(inset)
{
    setFixedHeight(1);
}

void PreferenceDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int start = layoutDirection() == Qt::LeftToRight ? inset_ : 0;
    painter.fillRect(QRect(start, 0, width() - inset_, 1), PivraAppearance::primary(palette(), 0.1));
}

QLabel* secondaryLabel(const QString& text, double pixelSize, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(PivraFonts::font(pixelSize));
    // The palettes give placeholder text the secondary tint of each scheme.
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QWidget* accessoryGroup(std::initializer_list<QWidget*> widgets, QWidget* parent)
{
    auto* group = new QWidget(parent);
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    for (QWidget* widget : widgets) {
        layout->addWidget(widget);
    }
    return group;
}

PreferenceCard::PreferenceCard(const QString& title, QWidget* accessory, QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);

    auto* titleLine = new QHBoxLayout;
    titleLine->setContentsMargins(4, 0, 4, 0);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setFont(PivraFonts::font(13, QFont::DemiBold));
    titleLine->addWidget(titleLabel);
    titleLine->addStretch(1);
    if (accessory != nullptr) {
        titleLine->addWidget(accessory);
    }
    column->addLayout(titleLine);

    auto* panel = new CardPanel(this);
    rows_ = new QVBoxLayout(panel);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    column->addWidget(panel);
}

void PreferenceCard::addRow(QWidget* row)
{
    rows_->addWidget(row);
}

void PreferenceCard::addDivider(int inset)
{
    rows_->addWidget(new PreferenceDivider(inset, rows_->parentWidget()));
}

PreferenceRow::PreferenceRow(const QString& title, const std::optional<QString>& subtitle, QWidget* accessory,
                             QWidget* parent)
    : QWidget(parent)
    , accessory_(accessory)
{
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(14, 10, 14, 10);
    line->setSpacing(0);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    title_ = new QLabel(title, this);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(PivraFonts::font(13));
    text->addWidget(title_);
    if (subtitle) {
        subtitle_ = secondaryLabel(*subtitle, 11.5, this);
        subtitle_->setWordWrap(true);
        // An empty subtitle still holds its line.
        subtitle_->setMinimumHeight(subtitle_->fontMetrics().height());
        text->addWidget(subtitle_);
    }
    line->addLayout(text, 1);
    line->addSpacing(12);
    if (accessory_ != nullptr) {
        line->addWidget(accessory_, 0, Qt::AlignVCenter);
    }
}

void PreferenceRow::setSubtitle(const QString& subtitle)
{
    if (subtitle_ != nullptr) {
        subtitle_->setText(subtitle);
    }
}

} // namespace pivra
