#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class QDBusMessage;
class QDBusPendingCall;

namespace pivra {

// Hands a local file to another device the desktop way: to the paired phone
// through KDE Connect when one is reachable (the one the chooser picks when
// several are), else to the desktop portal's
// chooser of an application to open it with ("ask"), else nowhere. The file
// is opened on the pool; every call on the bus is asynchronous and given up
// after `timeout` (a service that does not answer counts as absent); the
// answer comes back on the GUI thread.
class ShareService : public QObject {
    Q_OBJECT

public:
    enum class Route { kdeConnect, portal, unavailable, missingFile, declined };

    struct Result {
        Route route = Route::unavailable;
        QString device; // the KDE Connect device id that took the file
    };
    using Completion = std::function<void(const Result& result)>;

    struct Device {
        QString id;
        QString name;
    };
    // Asked when several phones could take the file; answers the chosen
    // device's id, or an empty one when none was chosen (declined).
    using Chooser = std::function<void(const QList<Device>& devices, std::function<void(const QString& id)> chosen)>;

    static constexpr std::chrono::milliseconds defaultTimeout{4000};

    // The bus the services are reached on: the desktop's session bus, or a
    // test's own.
    explicit ShareService(QDBusConnection bus = QDBusConnection::sessionBus(),
                          std::chrono::milliseconds timeout = defaultTimeout, QObject* parent = nullptr);

    // Shares the file at `path`; a file that is not there is missingFile and
    // reaches no service. GUI thread.
    void share(const QString& path, Completion completion);
    // Set before sharing: every share may need it.
    void setChooser(Chooser chooser) { chooser_ = std::move(chooser); }

private:
    // `file` is the open file at `path`, for the portal.
    void askKdeConnect(const QString& path, const QDBusUnixFileDescriptor& file, const Completion& completion);
    void sendToDevice(const QString& path, const QDBusUnixFileDescriptor& file, const QString& device,
                      const Completion& completion);
    void askPortal(const QDBusUnixFileDescriptor& file, const Completion& completion);
    QDBusPendingCall callBus(const QDBusMessage& message);
    // Calls `then` with the finished call on this object's thread.
    void whenDone(const QDBusPendingCall& call, std::function<void(const QDBusPendingCall&)> then);

    QDBusConnection bus_;
    std::chrono::milliseconds timeout_;
    Chooser chooser_;
};

} // namespace pivra
