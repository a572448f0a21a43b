#include "style/controls/DialogBorder.h"

#include <QChildEvent>
#include <QPainter>

namespace pivra {

void DialogBorder::addTo(QWidget& dialog)
{
    if (dialog.findChild<DialogBorder*>(QString(), Qt::FindDirectChildrenOnly) == nullptr) {
        new DialogBorder(dialog);
    }
}

DialogBorder::DialogBorder(QWidget& dialog) : QWidget(&dialog)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(dialog.rect());
    dialog.installEventFilter(this);
}

bool DialogBorder::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent()) {
        switch (event->type()) {
        case QEvent::Resize:
            setGeometry(parentWidget()->rect());
            break;
        // A child added after the border would be drawn over it.
        case QEvent::ChildAdded:
            if (static_cast<QChildEvent*>(event)->child() != this) {
                raise();
            }
            break;
        default:
            break;
        }
    }
    return false;
}

void DialogBorder::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(0.28F);
    painter.setPen(QPen(line, width));
    painter.setBrush(Qt::NoBrush);
    const qreal half = width / 2.0;
    painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
}

} // namespace pivra
