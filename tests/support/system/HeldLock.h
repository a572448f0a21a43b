#pragma once

#include <QProcess>
#include <QString>

namespace pivra::test {

// Another process holding an exclusive flock() on `file` (made when missing),
// as another session's program holds its catalog, until letGo() or until
// this goes. isHeld() is false when the lock could not be taken.
class HeldLock {
public:
    explicit HeldLock(const QString& file);
    ~HeldLock();

    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

    bool isHeld() const { return held_; }
    void letGo();

private:
    QProcess holder_;
    bool held_ = false;
};

// Whether process `pid` has `file` open.
bool holdsOpen(qint64 pid, const QString& file);

} // namespace pivra::test
