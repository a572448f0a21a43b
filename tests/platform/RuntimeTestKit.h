#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace pivra::test {

// Counts its own destruction, to show that a coroutine frame holding it as a
// local was destroyed rather than leaked.
class DestructionCounter {
public:
    explicit DestructionCounter(int* destroyed) : destroyed_(destroyed) {}
    ~DestructionCounter() { ++*destroyed_; }
    DestructionCounter(const DestructionCounter&) = delete;
    DestructionCounter& operator=(const DestructionCounter&) = delete;

private:
    int* destroyed_;
};

// Holds worker-side jobs until the test opens it. Jobs take it by shared
// pointer, so a job still parked there cannot outlive it.
class Gate {
public:
    static std::shared_ptr<Gate> make() { return std::make_shared<Gate>(); }

    void open();
    // Called by the job: records that it got here, then waits for open().
    void wait();
    bool wasReached();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool reached_ = false;
};

// Collects qWarning() output, from any thread, while it exists.
class WarningLog {
public:
    WarningLog();
    ~WarningLog();
    WarningLog(const WarningLog&) = delete;
    WarningLog& operator=(const WarningLog&) = delete;

    QStringList messages() const;

private:
    QtMessageHandler previous_;
};

// A user-defined error that is not a std::exception, to show that an
// exception crosses threads as exactly the type that was thrown.
struct TestError {
    int code;
};

} // namespace pivra::test
