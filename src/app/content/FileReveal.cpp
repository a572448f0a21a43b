#include "app/content/FileReveal.h"

#include "media/camera/CameraItemPaths.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "store/LibraryStore.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace pivra {
namespace {

// A file manager that has not answered by then is taken as absent.
constexpr int answerTimeoutMs = 3000;

// The one sentence for a reveal nothing on the desktop could carry out. The
// whole path, which the user can then open by other means, as they read it.
QString failureMessage(const QString& path)
{
    return QStringLiteral("No file manager could open %1.").arg(readableFileText(path));
}

void showItemsOverDBus(const QDBusConnection& bus, const QUrl& file, std::function<void()> refused)
{
    if (!bus.isConnected()) {
        // No session bus, so no file manager to ask; and a call that was
        // never sent never finishes, so its watcher would never report.
        GuiReturn(QCoreApplication::instance()).post(std::move(refused));
        return;
    }
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

void revealFile(const QString& file, const QString& folder, RevealFailed failed, const DesktopReveal& desktop)
{
    desktop.showItems(fileUrl(file),
                      [desktop, folder, failed = std::move(failed)] { openFolder(folder, failed, desktop); });
}

void openFolder(const QString& folder, const RevealFailed& failed, const DesktopReveal& desktop)
{
    if (!desktop.openFolder(fileUrl(folder)) && failed) {
        failed(failureMessage(folder));
    }
}

void revealItem(const MediaItem& item, RevealFailed failed, const DesktopReveal& desktop)
{
    if (isCameraItem(item)) {
        return;
    }
    revealFile(item.path(), QFileInfo(item.path()).absolutePath(), std::move(failed), desktop);
}

RevealFailed toMessage(LibraryStore& store)
{
    return [back = GuiReturn(&store), store = &store](const QString& message) {
        back.post([store, message] { store->setMessage(message); });
    };
}

} // namespace pivra
