#include "app/launch/WindowBridge.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>

namespace pivra {

WindowBridge::WindowBridge(FullscreenHandler onFullscreen, KeyHandler onKey, QObject* parent)
    : QObject(parent)
    , onFullscreen_(std::move(onFullscreen))
    , onKey_(std::move(onKey))
{
}

void WindowBridge::attach(QWidget* window)
{
    if (window == window_) {
        return;
    }
    detach();
    window_ = window;
    if (window == nullptr) {
        return;
    }
    // Keys reach the top-level native window before the widget that has the
    // focus; asking for its id makes the native window when there is none yet.
    window->winId();
    handle_ = window->windowHandle();
    window->installEventFilter(this);
    if (handle_) {
        handle_->installEventFilter(this);
    }
    QMetaObject::invokeMethod(
        this,
        [this, reported = QPointer<QWidget>(window)] {
            if (reported && reported == window_) {
                onFullscreen_(reported->isFullScreen());
            }
        },
        Qt::QueuedConnection);
}

void WindowBridge::detach()
{
    if (window_) {
        window_->removeEventFilter(this);
    }
    if (handle_) {
        handle_->removeEventFilter(this);
    }
    window_ = nullptr;
    handle_ = nullptr;
}

bool WindowBridge::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == handle_ && event->type() == QEvent::KeyPress) {
        return onKey_(static_cast<QKeyEvent*>(event));
    }
    if (watched == window_ && event->type() == QEvent::WindowStateChange) {
        const bool wasFullscreen = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowFullScreen;
        if (wasFullscreen != window_->isFullScreen()) {
            onFullscreen_(window_->isFullScreen());
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pivra
