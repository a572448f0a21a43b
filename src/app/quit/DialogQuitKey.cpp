#include "app/quit/DialogQuitKey.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace pivra {

DialogQuitKey::DialogQuitKey(QAction& quit, QObject* parent)
    : QObject(parent)
    , quit_(&quit)
{
    qApp->installEventFilter(this);
}

DialogQuitKey::~DialogQuitKey()
{
    qApp->removeEventFilter(this);
}

bool DialogQuitKey::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Show || !watched->isWidgetType() || !quit_) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->isWindow() && widget->isModal() && !widget->actions().contains(quit_)) {
        widget->addAction(quit_);
    }
    return false;
}

} // namespace pivra
