#pragma once

#include <QProcess>
#include <QString>

namespace pivra::test {

// An X server of the test's own (Xvfb, with no window manager), for a program
// the test starts to show its windows on, on a display number no other
// server took. display() (":3") is empty when Xvfb is not installed or did
// not start.
class OwnXServer {
public:
    OwnXServer();
    ~OwnXServer();

    OwnXServer(const OwnXServer&) = delete;
    OwnXServer& operator=(const OwnXServer&) = delete;

    const QString& display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

} // namespace pivra::test
