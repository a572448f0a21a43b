#include "app/window/ShareDeviceMenu.h"

#include <QMenu>

#include <memory>

namespace pivra {

// A pick hides the menu before it triggers the action, so an empty answer
// waits one turn of the event loop to learn whether a pick came.
void chooseShareDevice(QWidget* parent, QPoint globalAt, const QList<ShareService::Device>& devices,
                       std::function<void(const QString& id)> chosen)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("shareDeviceMenu"));
    auto answer = std::make_shared<std::function<void(const QString&)>>(std::move(chosen));
    for (const ShareService::Device& device : devices) {
        QAction* action = menu->addAction(device.name);
        QObject::connect(action, &QAction::triggered, menu, [answer, id = device.id] {
            if (*answer) {
                std::exchange(*answer, nullptr)(id);
            }
        });
    }
    QObject::connect(menu, &QMenu::aboutToHide, menu, [menu, answer] {
        QMetaObject::invokeMethod(
            menu,
            [menu, answer] {
                if (*answer) {
                    std::exchange(*answer, nullptr)(QString());
                }
                menu->deleteLater();
            },
            Qt::QueuedConnection);
    });
    menu->popup(globalAt);
}

} // namespace pivra
