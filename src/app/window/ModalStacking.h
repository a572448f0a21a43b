#pragma once

#include <QObject>

class QWindow;

namespace pivra {

// Keeps a modal dialog above the windows it blocks. A window manager keeps a
// dialog above the window it belongs to; without one (a bare X server, a
// kiosk session) a window that comes up, or is raised by another program,
// after its dialog covers it, and since it takes no input while the dialog is
// open, every click on it seems lost. Whenever a window that the open modal
// dialog blocks is shown, uncovered or given the focus (a click on it asks
// for the focus), the dialog is raised over it again, and the focus goes to
// the dialog. Watches every window of the application while it lives.
class ModalStacking final : public QObject {
public:
    ModalStacking();
    ~ModalStacking() override;

    ModalStacking(const ModalStacking&) = delete;
    ModalStacking& operator=(const ModalStacking&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bringUp();

    bool scheduled_ = false;
    bool focus_ = false;
};

} // namespace pivra
