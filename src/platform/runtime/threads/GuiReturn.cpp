#include "platform/runtime/threads/GuiReturn.h"

#include "platform/runtime/Dispatcher.h"

#include <QCoreApplication>

namespace pivra {

bool GuiReturn::post(std::function<void()> call) const
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    // Counted as work in flight until it comes up, so that drain() waits for
    // the answer and not only for the job that made it; counted off before
    // the call, which may itself drain.
    detail::workQueued();
    QMetaObject::invokeMethod(
        app,
        [context = context_, call = std::move(call)] {
            detail::workDelivered();
            if (context) {
                call();
            }
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace pivra
