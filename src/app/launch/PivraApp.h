#pragma once

#include "app/launch/SingleInstance.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <optional>

class QWidget;

namespace pivra {

class AppRouter;
class LibraryStore;

// Connects the running program to the outside world: library shortcut
// files handed over on the command line or by a later launch go to the
// router, and the source a shortcut names becomes the library window's
// selection once the window is there.
class PivraApp : public QObject {
    Q_OBJECT

public:
    PivraApp(LibraryStore& store, AppRouter& router, QObject* parent = nullptr);

    // The shortcut a launch opens: the first argument after the program path
    // when it ends in ".pivra" (case as written); later arguments are never
    // looked at.
    static std::optional<QString> shortcutArgument(const QStringList& arguments);

    // The window that comes forward when a shortcut or a later launch asks.
    // On its first appearance a library already pending is selected, then
    // the launch's own shortcut opened.
    void windowAppeared(QWidget* window, const QStringList& arguments);

    // A later launch: its shortcut is opened and the window comes forward,
    // with the desktop's activation token when the launch had one.
    void takeLaunch(const ForwardedLaunch& launch);

private:
    void openArguments(const QStringList& arguments);
    void selectPendingLibrary();
    void bringWindowForward(const QByteArray& activationToken);

    LibraryStore& store_;
    AppRouter& router_;
    QPointer<QWidget> window_;
    bool appeared_ = false;
};

} // namespace pivra
