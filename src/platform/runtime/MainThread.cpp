#include "platform/runtime/MainThread.h"

#include <QCoreApplication>
#include <QThread>
#include <QtGlobal>

namespace pivra {

bool isMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void assertMainThread()
{
    if (!isMainThread()) {
        qFatal("pivra: called off the GUI thread (from thread %p); this code must run on the "
               "thread that owns the QCoreApplication",
               static_cast<void*>(QThread::currentThread()));
    }
}

} // namespace pivra
