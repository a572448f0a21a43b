#include "support/system/PrivateSessionBus.h"

#include <QStandardPaths>

namespace pivra::test {

PrivateSessionBus::PrivateSessionBus()
    : installed_(!QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
{
    if (!installed_) {
        return;
    }
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                   QStringLiteral("--address=unix:dir=") + socketFolder_.path()});
    if (daemon_.waitForReadyRead(5000)) {
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
}

PrivateSessionBus::~PrivateSessionBus()
{
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.kill();
        daemon_.waitForFinished();
    }
}

} // namespace pivra::test
