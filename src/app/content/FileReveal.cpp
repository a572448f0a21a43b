#include "app/content/FileReveal.h"

#include "media/camera/CameraItemPaths.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>

namespace pivra {
namespace {

bool showItemsOverDBus(const QUrl& file)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

DesktopReveal DesktopReveal::system() { return {showItemsOverDBus, &QDesktopServices::openUrl}; }

void revealItem(const MediaItem& item, const DesktopReveal& desktop)
{
    if (isCameraItem(item)) {
        return;
    }
    const QUrl file = QUrl::fromLocalFile(item.path());
    if (!desktop.showItems(file)) {
        desktop.openFolder(QUrl::fromLocalFile(QFileInfo(item.path()).absolutePath()));
    }
}

} // namespace pivra
