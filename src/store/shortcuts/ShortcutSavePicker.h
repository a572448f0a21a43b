#pragma once

#include "store/DialogPlaces.h"

#include <QString>

#include <optional>

namespace pivra {

// Asks where to save a library shortcut: the window's save dialog, a script
// in tests. The dialog offers only shortcut files.
class ShortcutSavePicker : public DialogPlaces {
public:
    // The chosen file, or none when the user cancelled. The dialog proposes
    // `fileName` in `folder` (in the home folder when none is given).
    // Modal: the event loop runs meanwhile.
    virtual std::optional<QString> chooseShortcutFile(const QString& title, const QString& fileName,
                                                      const QString& folder) = 0;
};

} // namespace pivra
