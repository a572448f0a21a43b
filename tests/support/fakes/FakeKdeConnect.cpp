#include "support/fakes/FakeKdeConnect.h"

#include <QDBusMetaType>

namespace pivra::test {

FakeKdeConnectDaemon::FakeKdeConnectDaemon()
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
}

QMap<QString, QString> FakeKdeConnectDaemon::deviceNames(bool onlyReachable, bool onlyPaired)
{
    QMap<QString, QString> names;
    for (const QString& device : reachable) {
        names.insert(device, u"Phone " + device);
    }
    return onlyReachable && onlyPaired ? names : QMap<QString, QString>();
}

bool registerKdeConnect(QDBusConnection& services, FakeKdeConnectDaemon& daemon,
                        std::initializer_list<FakeKdeConnectShare*> phones)
{
    if (!services.registerService(QStringLiteral("org.kde.kdeconnect"))) {
        return false;
    }
    services.registerObject(QStringLiteral("/modules/kdeconnect"), &daemon, QDBusConnection::ExportAllSlots);
    for (FakeKdeConnectShare* phone : phones) {
        services.registerObject(u"/modules/kdeconnect/devices/" + phone->device() + u"/share", phone,
                                QDBusConnection::ExportAllSlots);
    }
    return true;
}

} // namespace pivra::test
