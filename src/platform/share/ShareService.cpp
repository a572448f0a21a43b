#include "platform/share/ShareService.h"

#include "platform/DesktopPortal.h"
#include "platform/runtime/Pool.h"

#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

namespace pivra {

namespace {

const QString kdeConnectService = QStringLiteral("org.kde.kdeconnect");
const QString kdeConnectDaemonPath = QStringLiteral("/modules/kdeconnect");
const QString kdeConnectDaemon = QStringLiteral("org.kde.kdeconnect.daemon");
const QString kdeConnectShare = QStringLiteral("org.kde.kdeconnect.device.share");
const QString openUriInterface = QStringLiteral("org.freedesktop.portal.OpenURI");

} // namespace

ShareService::ShareService(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{
    qDBusRegisterMetaType<QMap<QString, QString>>(); // the daemon's device names
}

// Whether the file is there is asked on the pool: the disk may be slow or gone.
void ShareService::share(const QString& path, Completion completion)
{
    QPointer<ShareService> self(this);
    detail::startOnPool(PoolPriority::userInitiated, [self, path, completion = std::move(completion)] {
        const bool exists = QFileInfo(path).isFile();
        QMetaObject::invokeMethod(
            self, [self, path, completion, exists] {
                if (!exists) {
                    completion({Route::missingFile, {}});
                } else {
                    self->askKdeConnect(path, completion);
                }
            },
            Qt::QueuedConnection);
    });
}

void ShareService::whenDone(const QDBusPendingCall& call, std::function<void(const QDBusPendingCall&)> then)
{
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, then = std::move(then)] {
        watcher->deleteLater();
        then(*watcher);
    });
}

// The devices both paired and reachable: one takes the file, several are
// chosen among, none (or no KDE Connect at all) goes on to the portal.
void ShareService::askKdeConnect(const QString& path, const Completion& completion)
{
    QDBusMessage devices = QDBusMessage::createMethodCall(kdeConnectService, kdeConnectDaemonPath, kdeConnectDaemon,
                                                          QStringLiteral("deviceNames"));
    devices << true << true; // reachable ones, paired ones
    whenDone(bus_.asyncCall(devices), [this, path, completion](const QDBusPendingCall& call) {
        const QDBusPendingReply<QMap<QString, QString>> reply(call);
        const QMap<QString, QString> names = reply.isError() ? QMap<QString, QString>() : reply.value();
        if (names.isEmpty()) {
            askPortal(path, completion);
        } else if (names.size() == 1) {
            sendToDevice(path, names.firstKey(), completion);
        } else {
            QList<Device> choices;
            for (auto it = names.cbegin(); it != names.cend(); ++it) {
                choices.push_back({it.key(), it.value()});
            }
            QPointer<ShareService> self(this);
            chooser_(choices, [self, path, completion](const QString& device) {
                if (!self) {
                    return;
                }
                if (device.isEmpty()) {
                    completion({Route::declined, {}});
                } else {
                    self->sendToDevice(path, device, completion);
                }
            });
        }
    });
}

void ShareService::sendToDevice(const QString& path, const QString& device, const Completion& completion)
{
    QDBusMessage send = QDBusMessage::createMethodCall(
        kdeConnectService, kdeConnectDaemonPath + QStringLiteral("/devices/") + device + QStringLiteral("/share"),
        kdeConnectShare, QStringLiteral("shareUrl"));
    send << QUrl::fromLocalFile(path).toString();
    whenDone(bus_.asyncCall(send), [this, path, device, completion](const QDBusPendingCall& call) {
        if (call.isError()) {
            askPortal(path, completion); // a device without the share plugin
        } else {
            completion({Route::kdeConnect, device});
        }
    });
}

// The portal reads the file through a descriptor we hand it; "ask" makes it
// offer the choice of application rather than open the default one.
void ShareService::askPortal(const QString& path, const Completion& completion)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        completion({Route::missingFile, {}});
        return;
    }
    QDBusMessage open =
        QDBusMessage::createMethodCall(desktopPortalService, desktopPortalPath, openUriInterface, QStringLiteral("OpenFile"));
    open << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(fd))
         << QVariantMap{{QStringLiteral("ask"), true}};
    ::close(fd); // the message holds its own duplicate
    whenDone(bus_.asyncCall(open), [completion](const QDBusPendingCall& call) {
        completion({call.isError() ? Route::unavailable : Route::portal, {}});
    });
}

} // namespace pivra
