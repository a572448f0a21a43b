#include "app/launch/UpdatesWiring.h"

#include "settings/PreferencesRouter.h"
#include "store/updates/UpdateController.h"

#include <QAction>
#include <QDesktopServices>

namespace pivra {

void startUpdates(UpdateController& updates, PreferencesRouter& router)
{
    QObject::connect(&updates, &UpdateController::focusRequested, &router,
                     [&router] { router.setRequest(PreferencesRouter::Pane::general); });
    QObject::connect(&updates, &UpdateController::openLink, &updates,
                     [](const QUrl& link) { QDesktopServices::openUrl(link); });
    updates.start();
}

QAction* checkForUpdatesAction(UpdateController& updates, PreferencesRouter& router, QObject* parent)
{
    auto* action = new QAction(QStringLiteral("Check for Updates…"), parent);
    action->setMenuRole(QAction::ApplicationSpecificRole);
    action->setEnabled(updates.isAvailable());
    QObject::connect(&updates, &UpdateController::changed, action,
                     [action, &updates] { action->setEnabled(updates.isAvailable()); });
    QObject::connect(action, &QAction::triggered, &updates, [&updates, &router] {
        router.setRequest(PreferencesRouter::Pane::general);
        updates.checkNow();
    });
    return action;
}

} // namespace pivra
