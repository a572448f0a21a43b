// Writing library shortcut files.

#include "store/shortcuts/LibraryShortcut.h"
#include "platform/runtime/threads/Pool.h"
#include "store/LibraryStore.h"
#include "store/shortcuts/ShortcutSavePicker.h"

#include <QStandardPaths>

namespace pivra {

void LibraryStore::createShortcut(const LibrarySource& source)
{
    assertMainThread();
    if (services_.shortcutSavePicker == nullptr) {
        return;
    }
    startTask(this, saveShortcut(source.id, source.name));
}

// The dialog opens on the Desktop once its disk has answered a look, else in
// the home folder, and the places it lists of its own accord are looked at
// alike (see avoidSilentPlaces): a share that stopped answering would hold
// the GUI thread in the dialog's first look. The file goes where the user
// chose, which may be such a share too.
//
// The file is given no icon of its own: desktops here offer no way to set
// one for a single file, so file managers show the shortcut type's icon.
Task<> LibraryStore::saveShortcut(QUuid sourceID, QString sourceName)
{
    if (choosingShortcutFile_) {
        co_return;
    }
    choosingShortcutFile_ = true;
    QString desktop = QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0);
    const QStringList silent = co_await avoidSilentPlaces(services_.shortcutSavePicker, desktop);
    if (silent.contains(desktop)) {
        desktop.clear();
    }
    const std::optional<QString> path = services_.shortcutSavePicker->chooseShortcutFile(
        QStringLiteral("Create library shortcut"), sourceName + u'.' + LibraryShortcut::extension, desktop);
    choosingShortcutFile_ = false;
    if (!path) {
        co_return;
    }
    const bool written = co_await runOnPool(PoolPriority::userInitiated, &writeLibraryShortcut, *path,
                                            LibraryShortcut{.libraryID = sourceID});
    if (!written) {
        setMessage(QStringLiteral("Could not create the shortcut."));
    }
}

} // namespace pivra
