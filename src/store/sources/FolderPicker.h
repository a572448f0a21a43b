#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pivra {

// Asks the user to choose folders: the window's dialog, a script in tests.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;

    // The chosen folders (folders only; at most one unless `several`), or
    // none when the user cancelled. The dialog opens at `startPath` when it
    // is given and still exists. Modal: the event loop runs meanwhile, so
    // callers look their state up again afterwards.
    virtual std::optional<QStringList> chooseFolders(const QString& message, bool several,
                                                     const QString& startPath) = 0;

    // The folders the next dialog looks at as it opens besides its start
    // folder: those it lists of its own accord (its side bar, the places it
    // remembers). Looking at a folder waits as long as its disk does, so the
    // caller finds out first, off the GUI thread, which of them answer.
    virtual QStringList placesShown() const { return {}; }
    // Keeps the next dialog away from `places`, those of placesShown() whose
    // disk did not answer.
    virtual void avoidPlaces(const QStringList& /*places*/) {}
};

} // namespace pivra
