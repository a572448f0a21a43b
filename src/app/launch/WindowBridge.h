#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QWidget;
class QWindow;

namespace pivra {

// Connects the library window to what only its top-level window knows:
// whether it is in full screen, and every key pressed in it before any of
// its widgets (a focused text field included) sees the key, with the power
// to swallow it. Keys pressed in the window's dialogs and menus, which are
// windows of their own, are not its business.
//
// Keys bound to menu shortcuts are resolved before any window sees them, so
// a key the window must be able to swallow cannot also be a shortcut.
class WindowBridge : public QObject {
    Q_OBJECT

public:
    using FullscreenHandler = std::function<void(bool fullscreen)>;
    // True: the key was handled and goes no further.
    using KeyHandler = std::function<bool(QKeyEvent* event)>;

    WindowBridge(FullscreenHandler onFullscreen, KeyHandler onKey, QObject* parent = nullptr);

    // Follows `window` (a top-level widget, or none) from now on, and
    // reports its full-screen state once, in a later turn, so a window that
    // opens in full screen is known to be there. Attaching the window
    // already followed changes nothing.
    void attach(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void detach();

    FullscreenHandler onFullscreen_;
    KeyHandler onKey_;
    QPointer<QWidget> window_;
    QPointer<QWindow> handle_;
};

} // namespace pivra
