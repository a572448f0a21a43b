#pragma once

#include <QElapsedTimer>

namespace pivra::test {

// Two measures of a pass of the calling thread that a busy machine does not
// lengthen, where the time passed is lengthened by every process that takes
// the processor meanwhile:
// - busy: the processor time the thread itself used, its own work alone;
// - held up: the time passed less the kernel's count of the time the thread
//   sat ready to run while others had the processor, so its own work and its
//   waits for other threads, locks and the disk.
// A unit test bounds the first tightly and the second only generously, since
// a lock holder or the disk is slowed down by a busy machine too; tight
// figures of the time passed belong in the benchmarks.
class PassClock {
public:
    PassClock() { restart(); }

    void restart();
    double busyMs() const;
    double heldUpMs() const;

private:
    QElapsedTimer since_;
    qint64 busySince_ = 0;
    qint64 waitedSince_ = 0;
};

} // namespace pivra::test
