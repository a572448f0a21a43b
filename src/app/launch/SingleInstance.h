#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <utility>

namespace pivra {

// What a later launch hands to the running program: its arguments, with the
// program path first and every other argument made absolute against the
// later launch's working folder, and the token the desktop gave that launch
// for bringing a window forward (empty when none).
struct ForwardedLaunch {
    QStringList arguments;
    QByteArray activationToken;
};

// Keeps one program per user. The first launch listens on a local socket; a
// later one connects, hands over its launch and leaves, so a shortcut file
// opened from the file manager while the program runs reaches the running
// program's catalog instead of a second process on the same files.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `serverName` is a socket path or a name Qt places in its temporary
    // folder; defaultServerName() gives the user's own.
    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    static QString defaultServerName();

    // Hands `launch` to the running program, or becomes the running program
    // when none answers: a socket file left by a program that died is removed
    // first. True when a running program took the launch; false when this
    // one now listens, or could not (the program then runs alone).
    // A lock file around the question keeps two launches at the same moment
    // from both deciding to listen.
    bool forwardOrListen(const ForwardedLaunch& launch);

    bool isListening() const { return server_->isListening(); }

    // Takes no more launches: a later one finds no program and becomes the
    // running program itself, opening its window, so none is handed to a
    // program that is ending and would never open it. Called as the program
    // starts to end, before anything it does can wait. The socket file goes
    // only while it is still this program's.
    void stopListening();

    // This launch as the program got it.
    static ForwardedLaunch currentLaunch(const QStringList& arguments);

Q_SIGNALS:
    // On the GUI thread, once per later launch.
    void launched(const pivra::ForwardedLaunch& launch);

private:
    bool forward(const ForwardedLaunch& launch);
    void accept();

    QString serverName_;
    // Owned; let go of without closing when another program took the name.
    QLocalServer* server_;
    // The socket file this program listens at: its device and inode.
    std::pair<quint64, quint64> socketFile_{};
};

} // namespace pivra
