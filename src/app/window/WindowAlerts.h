#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <deque>
#include <functional>
#include <optional>

class QWidget;

namespace pivra {

class LibraryStore;

// One question or notice of the window: a title, a text and its buttons, the
// last of which is what closing the alert any other way means.
struct WindowAlert {
    QString title;
    QString text;
    QStringList buttons;
    // Called exactly once, with the index of the button chosen.
    std::function<void(int button)> answer;
    // The first button destroys something: Return then answers with the
    // last one, as Escape does, so that only a deliberate click destroys.
    bool destructive = false;
    // Whether the question is still asked; none: until it is answered. One
    // no longer asked goes at the next recheck(), waiting or shown, answered
    // with its last button as a closed alert is.
    std::function<bool()> stillAsked;
};

// Shows the window's alerts one at a time, each window-modal and each
// answered exactly once: by a button, by Escape or by closing it, whichever
// comes first. Alerts asked for while one shows wait their turn.
class AlertPresenter : public QObject {
    Q_OBJECT

public:
    explicit AlertPresenter(QWidget& window);
    ~AlertPresenter() override;

    void present(WindowAlert alert);
    // Takes away the alerts whose questions are no longer asked.
    void recheck();
    // The alert on screen, for tests to answer.
    QMessageBox* current() const { return box_; }

private:
    void showNext();
    void answered(int button);

    QWidget& window_;
    std::deque<WindowAlert> waiting_;
    std::optional<WindowAlert> shown_;
    QPointer<QMessageBox> box_;
};

// The store's two alerts: its message ("Pivra", cleared by OK) and its
// request to choose a source's folder again ("Folder access needed"). Each is
// presented when the store raises it, once per raising, in the order raised.
// The store holds one of each at a time, so a newer one may replace it while
// its alert waits or shows: an answer goes to the store only while the store
// still holds what that alert asked.
class StoreAlerts : public QObject {
    Q_OBJECT

public:
    StoreAlerts(LibraryStore& store, AlertPresenter& presenter);

private:
    void messageChanged();
    void permissionRequestChanged();

    LibraryStore& store_;
    AlertPresenter& presenter_;
    // The messages and the sources asked about whose alerts wait or show.
    QStringList pendingMessages_;
    QSet<QUuid> pendingRequests_;
};

} // namespace pivra
