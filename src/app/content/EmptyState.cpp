#include "app/content/EmptyState.h"

#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace pivra {
namespace {

constexpr int symbolSize = 48;
constexpr int descriptionWidth = 360;

// The one way out of a notice, filled with the accent colour of the palette
// in use, so it follows the scheme as it changes.
class ProminentButton : public QPushButton {
public:
    ProminentButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
    {
        setFont(PivraFonts::font(13));
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override
    {
        const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
        return {text.width() + 28, text.height() + 10};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::Highlight);
        if (isDown()) {
            fill = fill.darker(115);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};


} // namespace

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent),
      symbolLabel_(new QLabel(this)),
      title_(new QLabel(this)),
      description_(new QLabel(this)),
      buttons_(new QVBoxLayout)
{
    auto* column = new QVBoxLayout(this);
    column->addStretch();
    for (QLabel* label : {symbolLabel_, title_, description_}) {
        label->setAlignment(Qt::AlignCenter);
        column->addWidget(label, 0, Qt::AlignHCenter);
    }
    title_->setFont(PivraFonts::font(17, QFont::DemiBold));
    description_->setFont(PivraFonts::font(13, QFont::Normal));
    description_->setWordWrap(true);
    description_->setFixedWidth(descriptionWidth);
    buttons_->setSpacing(8);
    column->addSpacing(8);
    column->addLayout(buttons_);
    column->addStretch();
}

void EmptyState::setContent(const QString& title, const QString& symbol, const QString& description)
{
    title_->setText(title);
    description_->setText(description);
    // A wrapped label centred in a column is not given the height its lines need.
    description_->setFixedHeight(description_->heightForWidth(descriptionWidth));
    symbol_ = symbol;
    paintSymbol();
    // A button may be the one whose click changed the view.
    while (QLayoutItem* item = buttons_->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
}

QPushButton* EmptyState::addButton(const QString& text, std::function<void()> action)
{
    auto* button = new ProminentButton(text, this);
    connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
    buttons_->addWidget(button, 0, Qt::AlignHCenter);
    return button;
}

QString EmptyState::title() const { return title_->text(); }

QString EmptyState::description() const { return description_->text(); }

QList<QPushButton*> EmptyState::buttons() const
{
    QList<QPushButton*> found;
    for (int i = 0; i < buttons_->count(); ++i) {
        found.append(qobject_cast<QPushButton*>(buttons_->itemAt(i)->widget()));
    }
    return found;
}

void EmptyState::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        paintSymbol();
    }
}

void EmptyState::paintSymbol()
{
    const QColor secondary = PivraAppearance::primary(palette(), 0.5);
    QPalette text = description_->palette();
    text.setColor(QPalette::WindowText, secondary);
    description_->setPalette(text);
    symbolLabel_->setPixmap(Symbols::pixmap(symbol_, QSize(symbolSize, symbolSize), secondary, devicePixelRatioF()));
}

} // namespace pivra
