#include "app/content/FileReveal.h"

#include "media/camera/CameraItemPaths.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace pivra {
namespace {

// A file manager that has not answered by then is taken as absent.
constexpr int answerTimeoutMs = 3000;

void showItemsOverDBus(const QDBusConnection& bus, const QUrl& file, std::function<void()> refused)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    // Owned by the application rather than a view, so the answer is heard
    // even when the view that asked is gone by then.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, answerTimeoutMs), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, refused = std::move(refused)] {
                         watcher->deleteLater();
                         if (watcher->isError()) {
                             refused();
                         }
                     });
}

} // namespace

DesktopReveal DesktopReveal::system(const QDBusConnection& bus)
{
    return {[bus](const QUrl& file, std::function<void()> refused) { showItemsOverDBus(bus, file, std::move(refused)); },
            &QDesktopServices::openUrl};
}

void revealItem(const MediaItem& item, const DesktopReveal& desktop)
{
    if (isCameraItem(item)) {
        return;
    }
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(item.path()).absolutePath());
    desktop.showItems(QUrl::fromLocalFile(item.path()), [openFolder = desktop.openFolder, folder] { openFolder(folder); });
}

} // namespace pivra
