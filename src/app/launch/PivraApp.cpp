#include "app/launch/PivraApp.h"

#include "store/shortcuts/AppRouter.h"
#include "store/LibraryStore.h"

#include <QUrl>
#include <QWidget>

#include <algorithm>

namespace pivra {

PivraApp::PivraApp(LibraryStore& store, AppRouter& router, QObject* parent)
    : QObject(parent)
    , store_(store)
    , router_(router)
{
    connect(&router_, &AppRouter::activationRequested, this, [this] { bringWindowForward({}); });
}

std::optional<QString> PivraApp::shortcutArgument(const QStringList& arguments)
{
    if (arguments.size() < 2 || !arguments[1].endsWith(QStringLiteral(".pivra"))) {
        return std::nullopt;
    }
    return arguments[1];
}

void PivraApp::windowAppeared(QWidget* window, const QStringList& arguments)
{
    if (!appeared_) {
        // Until the window is there, a shortcut's library waits in the router.
        connect(&router_, &AppRouter::pendingLibraryIDChanged, this, &PivraApp::selectPendingLibrary);
        appeared_ = true;
    }
    window_ = window;
    selectPendingLibrary();
    openArguments(arguments);
}

void PivraApp::takeLaunch(const ForwardedLaunch& launch)
{
    // Launching the program again, with or without a file, means the user
    // wants its window; the launch's token goes with the first request.
    bringWindowForward(launch.activationToken);
    openArguments(launch.arguments);
}

void PivraApp::openArguments(const QStringList& arguments)
{
    if (const std::optional<QString> path = shortcutArgument(arguments)) {
        router_.open(QUrl::fromLocalFile(*path));
    }
}

// Clearing the request announces the change again; with nothing pending that
// second call does nothing.
void PivraApp::selectPendingLibrary()
{
    const std::optional<QUuid> id = router_.pendingLibraryID();
    if (!id) {
        return;
    }
    const QList<LibrarySource>& sources = store_.sources();
    if (std::any_of(sources.begin(), sources.end(), [&](const LibrarySource& source) { return source.id == *id; })) {
        store_.selectSource(*id);
    } else {
        store_.setMessage(QStringLiteral("This library is no longer in Pivra. Add its folder again to browse it."));
    }
    router_.setPendingLibraryID(std::nullopt);
}

void PivraApp::bringWindowForward(const QByteArray& activationToken)
{
    if (!window_) {
        return;
    }
    // A Wayland compositor lets a window take the focus only with the token
    // of the launch that asked; Qt hands over the one in the environment when
    // the window asks to be activated.
    if (!activationToken.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    }
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

} // namespace pivra
