#pragma once

class QAction;
class QObject;

namespace pivra {

class PreferencesRouter;
class UpdateController;

// Joins the update controller to the rest of the program and starts it
// (once, at the end of launching): a request to show the update settings
// opens the General preferences, and an information-only release opens its
// page in the browser.
void startUpdates(UpdateController& updates, PreferencesRouter& router);

// "Check for Updates…": shows the General preferences, then checks; enabled
// only while updates are available.
QAction* checkForUpdatesAction(UpdateController& updates, PreferencesRouter& router, QObject* parent);

} // namespace pivra
