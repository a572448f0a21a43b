#pragma once

#include "app/quit/CloseRequestWatch.h"
#include "app/quit/DialogQuitKey.h"

class QAction;
class QWidget;

namespace pivra {

// Every way to quit the program that its windows offer, each ending the
// program by quitProgram() whatever is open: the File menu's Quit, `quit`,
// with its key in the library window and in any modal dialog over it, and a
// request to close the library window, `window`.
class QuitRequests final {
public:
    QuitRequests(QWidget& window, QAction& quit);

private:
    DialogQuitKey dialogQuitKey_;
    CloseRequestWatch closeRequests_;
};

} // namespace pivra
