#include "app/quit/QuitRequests.h"

#include "app/launch/ProgramEnd.h"

namespace pivra {

QuitRequests::QuitRequests(QWidget& window, QAction& quit)
    : dialogQuitKey_(quit)
    , closeRequests_(window)
{
    QObject::connect(&closeRequests_, &CloseRequestWatch::requested, &quitProgram);
}

} // namespace pivra
