#pragma once

#include <QObject>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace pivra {

// Turns an opened library shortcut into a pending request for the window:
// the source it names waits in pendingLibraryID until the window has shown
// it (or said it is gone) and cleared it. GUI thread only.
class AppRouter : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<QUuid> pendingLibraryID READ pendingLibraryID WRITE setPendingLibraryID NOTIFY
                   pendingLibraryIDChanged)

public:
    explicit AppRouter(QObject* parent = nullptr);

    // The program's one router, made on first use; it lives as long as the
    // application.
    static AppRouter& shared();

    const std::optional<QUuid>& pendingLibraryID() const { return pendingLibraryID_; }
    void setPendingLibraryID(const std::optional<QUuid>& id);

    // A local file whose extension is "pivra" in any case and that holds a
    // version 1 record makes its source pending, replacing one not yet
    // handled, and asks for the window to come forward. Anything else is
    // ignored without a word.
    void open(const QUrl& url);

Q_SIGNALS:
    void pendingLibraryIDChanged();
    // The window should come to the front.
    void activationRequested();

private:
    std::optional<QUuid> pendingLibraryID_;
};

} // namespace pivra
