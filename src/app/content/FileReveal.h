#pragma once

#include <QUrl>

#include <functional>

namespace pivra {

class MediaItem;

// How the desktop shows a file: the file manager selecting it, else the
// folder that holds it opened.
struct DesktopReveal {
    // False when no file manager took the request.
    std::function<bool(const QUrl& file)> showItems;
    std::function<bool(const QUrl& folder)> openFolder;

    // The freedesktop file manager interface on the session bus, and the
    // desktop's handler of folders.
    static DesktopReveal system();
};

// Shows the item's original selected in the file manager. An item on a
// connected device has no file, and nothing happens.
void revealItem(const MediaItem& item, const DesktopReveal& desktop = DesktopReveal::system());

} // namespace pivra
