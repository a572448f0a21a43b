// Writing library shortcut files.

#include "store/shortcuts/LibraryShortcut.h"
#include "store/LibraryStore.h"
#include "store/shortcuts/ShortcutSavePicker.h"

#include <QStandardPaths>

namespace pivra {

// The file is given no icon of its own: desktops here offer no way to set
// one for a single file, so file managers show the shortcut type's icon.
void LibraryStore::createShortcut(const LibrarySource& source)
{
    assertMainThread();
    if (services_.shortcutSavePicker == nullptr) {
        return;
    }
    const std::optional<QString> path = services_.shortcutSavePicker->chooseShortcutFile(
        QStringLiteral("Create library shortcut"), source.name + u'.' + LibraryShortcut::extension,
        QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0));
    if (!path) {
        return;
    }
    if (!writeLibraryShortcut(*path, LibraryShortcut{.libraryID = source.id})) {
        setMessage(QStringLiteral("Could not create the shortcut."));
    }
}

} // namespace pivra
