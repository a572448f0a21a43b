#pragma once

#include <QObject>

class QSocketNotifier;

namespace pivra {

// The signals by which the desktop ends the program: SIGTERM at a logout or
// a shutdown, SIGHUP when the terminal it was started from goes, SIGINT for
// Ctrl+C there. Without a handler each killed the process where it stood,
// so nothing of the program's end ran (the window's place, writes still
// queued for the catalog, place names, an update's hand-over). The handler
// only writes a byte into a pipe, all a signal handler may safely do; the
// GUI thread reads it and asks for the quit.
//
// One per process. The handlers stay for the rest of the process, past this
// object, so a signal that comes while the program ends (a session repeats
// SIGTERM before it gives up) finds nobody reading and changes nothing: the
// end under way goes on.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);

Q_SIGNALS:
    // On the GUI thread, for each turn of its event loop that found signals.
    void received();

private:
    void drain();

    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace pivra
