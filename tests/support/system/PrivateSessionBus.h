#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace pivra::test {

// A D-Bus session bus of the test's own: a dbus-daemon started with it and
// stopped when it goes, so services the test registers never meet the
// desktop's. Its socket lies in a folder of its own that goes with it, since
// a daemon that is killed leaves its socket behind. Tests skip when
// dbus-daemon is not installed.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();

    // Whether dbus-daemon is installed at all.
    bool isInstalled() const { return installed_; }
    // Its address, for QDBusConnection::connectToBus; empty when it did not
    // start.
    const QString& address() const { return address_; }

private:
    bool installed_;
    QTemporaryDir socketFolder_;
    QProcess daemon_;
    QString address_;
};

} // namespace pivra::test
