#include "app/sidebar/SidebarRow.h"

#include "style/controls/PaintedAccessible.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/controls/SubtleRowHover.h"
#include "style/assets/Symbols.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace pivra {

namespace {

constexpr int dotSize = 7;

// A row reads as a button that may be the selected one; a source's row
// holds its status dot, read by its status text. The row is looked up at
// each question, so a row being torn down says nothing of its own.
class SidebarRowAccessible final : public PaintedAccessible {
public:
    explicit SidebarRowAccessible(SidebarRow* row)
        : PaintedAccessible(row, QAccessible::Button)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = PaintedAccessible::state();
        state.selectable = true;
        state.selected = row() && row()->selected();
        return state;
    }

    int partCount() const override { return row() && row()->status() ? 1 : 0; }
    QString partText(int, QAccessible::Text text) const override
    {
        return text == QAccessible::Name ? statusText(*row()->status()) : QString();
    }
    QRect partRect(int) const override { return row()->dotRect(); }
    QAccessible::Role partRole(int) const override { return QAccessible::Graphic; }

private:
    SidebarRow* row() const { return qobject_cast<SidebarRow*>(widget()); }
};

} // namespace

SidebarRow::SidebarRow(const QString& title, const QString& symbol, Look look, QWidget* parent)
    : QAbstractButton(parent)
    , symbol_(symbol)
    , look_(look)
    , hover_(this)
    , selection_(this, curves::easeInOut(0.22), 0)
{
    installAccessibleFactory(&accessibleFor<SidebarRow, SidebarRowAccessible>);
    setText(title);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateFont();
}

void SidebarRow::setSelected(bool selected)
{
    if (selected == selected_) {
        return;
    }
    selected_ = selected;
    selection_.animateTo(selected ? 1 : 0);
    updateFont();
    if (QAccessible::isActive()) {
        QAccessible::State changed;
        changed.selected = true;
        QAccessibleStateChangeEvent event(this, changed);
        QAccessible::updateAccessibility(&event);
    }
}

bool SidebarRow::setStatus(std::optional<SourceStatus> status)
{
    if (status == status_) {
        return false;
    }
    status_ = status;
    PaintedAccessible::notify(this, 0, QAccessible::NameChanged);
    return true;
}

void SidebarRow::updateFont()
{
    setFont(PivraFonts::font(look_.fontSize, selected_ ? QFont::DemiBold : look_.weight));
    update();
}

QRect SidebarRow::dotRect() const
{
    if (!status_) {
        return {};
    }
    const int right = width() - look_.outerInset - look_.trailing;
    return {right - dotSize, (height() - dotSize) / 2, dotSize, dotSize};
}

QSize SidebarRow::sizeHint() const
{
    return {2 * look_.outerInset + look_.indentation + look_.leading + look_.trailing,
            fontMetrics().height() + 2 * look_.verticalPadding};
}

bool SidebarRow::hitButton(const QPoint& position) const
{
    return position.x() >= look_.outerInset + look_.indentation && position.x() < width() - look_.outerInset &&
           rect().contains(position);
}

bool SidebarRow::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (status_ && dotRect().adjusted(-3, -3, 3, 3).contains(help->pos())) {
            QToolTip::showText(help->globalPos(), statusText(*status_), this);
            return true;
        }
    }
    return QAbstractButton::event(event);
}

void SidebarRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPalette& colours = palette();
    const bool dark = PivraAppearance::isDark(colours);
    QColor selectedBackground = colours.color(QPalette::Highlight);
    selectedBackground.setAlphaF(dark ? 0.25f : 0.13f);
    const QRectF background = QRectF(rect()).adjusted(look_.outerInset, 0, -look_.outerInset, 0);
    SubtleRowHover::paint(painter, background, colours, selection_.value(), selectedBackground,
                          look_.hoverBackground ? hover_.progress() : 0);

    const QColor ink = colours.color(QPalette::WindowText);
    int x = look_.outerInset + look_.indentation + look_.leading;
    if (look_.symbolFrame > 0) {
        const int side = std::min(look_.symbolFrame, look_.fontSize + 2);
        const QPixmap image = Symbols::pixmap(symbol_, QSize(side, side), ink, devicePixelRatioF());
        if (!image.isNull()) {
            painter.drawPixmap(QPoint(x + (look_.symbolFrame - side) / 2, (height() - side) / 2), image);
        }
        x += look_.symbolFrame + look_.spacing;
    }
    int right = width() - look_.outerInset - look_.trailing;
    if (status_) {
        const QRect dot = dotRect();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(statusColor(*status_, dark));
        painter.drawEllipse(dot);
        right = dot.left() - look_.spacing;
    }
    painter.setPen(ink);
    painter.setFont(font());
    const QRect textArea(x, 0, std::max(0, right - x), height());
    painter.drawText(textArea, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textArea.width()));
}

} // namespace pivra
