#pragma once

#include "store/DialogPlaces.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace pivra {

// Asks the user to choose folders: the window's dialog, a script in tests.
class FolderPicker : public DialogPlaces {
public:
    // The chosen folders (folders only; at most one unless `several`), or
    // none when the user cancelled. The dialog opens at `startPath` when it
    // is given and still exists. Modal: the event loop runs meanwhile, so
    // callers look their state up again afterwards.
    virtual std::optional<QStringList> chooseFolders(const QString& message, bool several,
                                                     const QString& startPath) = 0;
};

} // namespace pivra
