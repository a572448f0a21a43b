#include "platform/runtime/threads/GuiReturn.h"

#include <QCoreApplication>

namespace pivra {

bool GuiReturn::post(std::function<void()> call) const
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    QMetaObject::invokeMethod(
        app,
        [context = context_, call = std::move(call)] {
            if (context) {
                call();
            }
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace pivra
