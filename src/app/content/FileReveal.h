#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>

#include <functional>

namespace pivra {

class LibraryStore;
class MediaItem;

// How the desktop shows a file: the file manager selecting it, else the
// folder that holds it opened. Neither waits for the desktop: a reveal is a
// click, and a file manager that is slow or hung must not stall the window.
struct DesktopReveal {
    // Asks for the file to be shown and returns at once; `refused` runs
    // later, on the GUI thread, when no file manager took the request.
    std::function<void(const QUrl& file, std::function<void()> refused)> showItems;
    // Opens the folder with the desktop's handler of folders; false when
    // there is none to start.
    std::function<bool(const QUrl& folder)> openFolder;

    // The freedesktop file manager interface on `bus`, and the desktop's
    // handler of folders.
    static DesktopReveal system(const QDBusConnection& bus = QDBusConnection::sessionBus());
};

// Told, on the GUI thread, the sentence to show when nothing on the desktop
// could show what was asked for.
using RevealFailed = std::function<void(const QString& message)>;

// Shows `file` selected in the file manager; when no file manager takes the
// request, opens `folder` instead; when that fails too, says so.
void revealFile(const QString& file, const QString& folder, RevealFailed failed,
                const DesktopReveal& desktop = DesktopReveal::system());

// Opens `folder` itself with the desktop's handler of folders, or says why not.
void openFolder(const QString& folder, const RevealFailed& failed,
                const DesktopReveal& desktop = DesktopReveal::system());

// Shows the item's original selected in the file manager, else opens the
// folder that holds it. An item on a connected device has no file, and
// nothing happens.
void revealItem(const MediaItem& item, RevealFailed failed, const DesktopReveal& desktop = DesktopReveal::system());

// Failures told in the store's message line, for as long as the store lives.
RevealFailed toMessage(LibraryStore& store);

} // namespace pivra
