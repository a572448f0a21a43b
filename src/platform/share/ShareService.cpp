#include "platform/share/ShareService.h"

#include "platform/DesktopPortal.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/Pool.h"

#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pivra {

namespace {

const QString kdeConnectService = QStringLiteral("org.kde.kdeconnect");
const QString kdeConnectDaemonPath = QStringLiteral("/modules/kdeconnect");
const QString kdeConnectDaemon = QStringLiteral("org.kde.kdeconnect.daemon");
const QString kdeConnectShare = QStringLiteral("org.kde.kdeconnect.device.share");
const QString openUriInterface = QStringLiteral("org.freedesktop.portal.OpenURI");

} // namespace

ShareService::ShareService(QDBusConnection bus, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), timeout_(timeout)
{
    qDBusRegisterMetaType<QMap<QString, QString>>(); // the daemon's device names
}

// The file is opened on the pool: the disk may be slow or gone. A file that
// cannot be opened as a regular file is missing.
void ShareService::share(const QString& path, Completion completion)
{
    detail::startOnPool(PoolPriority::userInitiated, [this, back = GuiReturn(this), path,
                                                      completion = std::move(completion)] {
        QDBusUnixFileDescriptor file;
        const int fd = ::open(fileNameBytes(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            struct stat status {};
            if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
                file.setFileDescriptor(fd); // keeps its own duplicate
            }
            ::close(fd);
        }
        // `this` is touched only there, once the service is known to be alive.
        back.post([this, path, file, completion] {
            if (!file.isValid()) {
                completion({Route::missingFile, {}});
            } else {
                askKdeConnect(path, file, completion);
            }
        });
    });
}

QDBusPendingCall ShareService::callBus(const QDBusMessage& message)
{
    return bus_.asyncCall(message, int(timeout_.count()));
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
void ShareService::askKdeConnect(const QString& path, const QDBusUnixFileDescriptor& file,
                                 const Completion& completion)
{
    QDBusMessage devices = QDBusMessage::createMethodCall(kdeConnectService, kdeConnectDaemonPath, kdeConnectDaemon,
                                                          QStringLiteral("deviceNames"));
    devices << true << true; // reachable ones, paired ones
    whenDone(callBus(devices), [this, path, file, completion](const QDBusPendingCall& call) {
        const QDBusPendingReply<QMap<QString, QString>> reply(call);
        const QMap<QString, QString> names = reply.isError() ? QMap<QString, QString>() : reply.value();
        if (names.isEmpty()) {
            askPortal(file, completion);
        } else if (names.size() == 1) {
            sendToDevice(path, file, names.firstKey(), completion);
        } else {
            QList<Device> choices;
            for (auto it = names.cbegin(); it != names.cend(); ++it) {
                choices.push_back({it.key(), it.value()});
            }
            QPointer<ShareService> self(this);
            chooser_(choices, [self, path, file, completion](const QString& device) {
                if (!self) {
                    return;
                }
                if (device.isEmpty()) {
                    completion({Route::declined, {}});
                } else {
                    self->sendToDevice(path, file, device, completion);
                }
            });
        }
    });
}

void ShareService::sendToDevice(const QString& path, const QDBusUnixFileDescriptor& file, const QString& device,
                                const Completion& completion)
{
    QDBusMessage send = QDBusMessage::createMethodCall(
        kdeConnectService, kdeConnectDaemonPath + QStringLiteral("/devices/") + device + QStringLiteral("/share"),
        kdeConnectShare, QStringLiteral("shareUrl"));
    send << fileUrl(path).toString();
    whenDone(callBus(send), [this, file, device, completion](const QDBusPendingCall& call) {
        if (call.isError()) {
            askPortal(file, completion); // a device without the share plugin, or one that does not answer
        } else {
            completion({Route::kdeConnect, device});
        }
    });
}

// The portal reads the file through the descriptor we hand it; "ask" makes
// it offer the choice of application rather than open the default one.
void ShareService::askPortal(const QDBusUnixFileDescriptor& file, const Completion& completion)
{
    QDBusMessage open =
        QDBusMessage::createMethodCall(desktopPortalService, desktopPortalPath, openUriInterface, QStringLiteral("OpenFile"));
    open << QString() << QVariant::fromValue(file) << QVariantMap{{QStringLiteral("ask"), true}};
    whenDone(callBus(open), [completion](const QDBusPendingCall& call) {
        completion({call.isError() ? Route::unavailable : Route::portal, {}});
    });
}

} // namespace pivra
