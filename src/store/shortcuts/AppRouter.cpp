#include "store/shortcuts/AppRouter.h"

#include "platform/runtime/MainThread.h"
#include "store/shortcuts/LibraryShortcut.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace pivra {

AppRouter::AppRouter(QObject* parent) : QObject(parent) {}

AppRouter& AppRouter::shared()
{
    assertMainThread();
    static AppRouter* const router = new AppRouter(QCoreApplication::instance());
    return *router;
}

void AppRouter::setPendingLibraryID(const std::optional<QUuid>& id)
{
    assertMainThread();
    pendingLibraryID_ = id;
    Q_EMIT pendingLibraryIDChanged();
}

void AppRouter::open(const QUrl& url)
{
    assertMainThread();
    if (!url.isLocalFile()) {
        return;
    }
    const QString path = url.toLocalFile();
    if (QFileInfo(path).suffix().toLower() != LibraryShortcut::extension) {
        return;
    }
    const std::optional<LibraryShortcut> shortcut = readLibraryShortcut(path);
    if (!shortcut || shortcut->version != LibraryShortcut::currentVersion) {
        return;
    }
    setPendingLibraryID(shortcut->libraryID);
    Q_EMIT activationRequested();
}

} // namespace pivra
