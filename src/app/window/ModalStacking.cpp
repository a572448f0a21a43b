#include "app/window/ModalStacking.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace pivra {
namespace {

// Whether `dialog`, open and modal, takes the input of `window`: every other
// window for an application-modal dialog, but for the dialog's own windows
// (its menus and tooltips, any dialog opened over it); the windows it was
// opened over for a window-modal one.
bool blocks(const QWidget& dialog, const QWindow& window)
{
    const QWindow* dialogWindow = dialog.windowHandle();
    if (dialogWindow == nullptr || window.type() == Qt::Popup || window.type() == Qt::ToolTip) {
        return false;
    }
    if (dialog.windowModality() == Qt::ApplicationModal) {
        for (const QWindow* owner = &window; owner != nullptr; owner = owner->transientParent()) {
            if (owner == dialogWindow) {
                return false;
            }
        }
        return true;
    }
    for (const QWindow* owner = dialogWindow->transientParent(); owner != nullptr; owner = owner->transientParent()) {
        if (owner == &window) {
            return true;
        }
    }
    return false;
}

} // namespace

ModalStacking::ModalStacking()
{
    qApp->installEventFilter(this);
}

ModalStacking::~ModalStacking()
{
    qApp->removeEventFilter(this);
}

bool ModalStacking::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::Show && type != QEvent::Expose && type != QEvent::FocusIn) || !watched->isWindowType()) {
        return false;
    }
    const QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible() || !blocks(*dialog, *static_cast<QWindow*>(watched))) {
        return false;
    }
    focus_ = focus_ || type == QEvent::FocusIn;
    // Once the window has been mapped or restacked: raised before, the dialog
    // would end under it all the same.
    if (!scheduled_) {
        scheduled_ = true;
        QTimer::singleShot(0, this, &ModalStacking::bringUp);
    }
    return false;
}

// Other modal dialogs still open (a sheet under an alert over it) come up
// too, beneath the one that takes the input.
void ModalStacking::bringUp()
{
    scheduled_ = false;
    const bool focus = std::exchange(focus_, false);
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible()) {
        return;
    }
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != dialog && other->isVisible() && other->isModal()) {
            other->raise();
        }
    }
    dialog->raise();
    if (focus) {
        dialog->activateWindow();
    }
}

} // namespace pivra
