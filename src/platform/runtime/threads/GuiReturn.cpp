#include "platform/runtime/threads/GuiReturn.h"

#include <QCoreApplication>

namespace pivra {

void GuiReturn::post(std::function<void()> call) const
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [context = context_, call = std::move(call)] {
            if (context) {
                call();
            }
        },
        Qt::QueuedConnection);
}

} // namespace pivra
