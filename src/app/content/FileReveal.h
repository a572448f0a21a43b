#pragma once

#include <QDBusConnection>
#include <QUrl>

#include <functional>

namespace pivra {

class MediaItem;

// How the desktop shows a file: the file manager selecting it, else the
// folder that holds it opened. Neither waits for the desktop: a reveal is a
// click, and a file manager that is slow or hung must not stall the window.
struct DesktopReveal {
    // Asks for the file to be shown and returns at once; `refused` runs
    // later, on the GUI thread, when no file manager took the request.
    std::function<void(const QUrl& file, std::function<void()> refused)> showItems;
    std::function<bool(const QUrl& folder)> openFolder;

    // The freedesktop file manager interface on `bus`, and the desktop's
    // handler of folders.
    static DesktopReveal system(const QDBusConnection& bus = QDBusConnection::sessionBus());
};

// Shows the item's original selected in the file manager. An item on a
// connected device has no file, and nothing happens.
void revealItem(const MediaItem& item, const DesktopReveal& desktop = DesktopReveal::system());

} // namespace pivra
