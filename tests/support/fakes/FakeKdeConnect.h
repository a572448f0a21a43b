#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QStringList>

namespace pivra::test {

// KDE Connect's daemon as a share sees it: the phones that are reachable,
// named "Phone <id>", all paired.
class FakeKdeConnectDaemon : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kdeconnect.daemon")

public:
    FakeKdeConnectDaemon();

    QStringList reachable;

public Q_SLOTS:
    QMap<QString, QString> deviceNames(bool onlyReachable, bool onlyPaired);
};

// One phone's share plugin; each URL it is handed is noted as "device url".
class FakeKdeConnectShare : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kdeconnect.device.share")

public:
    FakeKdeConnectShare(QString device, QStringList& received) : device_(std::move(device)), received_(received) {}

    const QString& device() const { return device_; }

public Q_SLOTS:
    void shareUrl(const QString& url) { received_ << device_ + u' ' + url; }

private:
    QString device_;
    QStringList& received_;
};

// Puts the daemon and the phones' plugins on `services` under KDE Connect's
// name; false when the name could not be taken.
bool registerKdeConnect(QDBusConnection& services, FakeKdeConnectDaemon& daemon,
                        std::initializer_list<FakeKdeConnectShare*> phones);

} // namespace pivra::test
