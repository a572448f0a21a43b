#pragma once

#include "platform/folders/MountTable.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QSocketNotifier;

namespace pivra {

// Tells the GUI thread when a filesystem is mounted or unmounted. The kernel
// flags the mount table file as changed (POLLPRI) on every mount or unmount,
// so each signal is reread and diffed; every mount that may hold files is
// reported (see isPseudoFilesystem), and the listener decides which matter.
class MountMonitor : public QObject {
    Q_OBJECT

public:
    static constexpr const char* processMountTable = "/proc/self/mountinfo";

    // Watches the table at `tablePath`; a test passes a file of its own and
    // calls recheck() after rewriting it. The table read here is the baseline,
    // so volumes mounted already are not reported.
    explicit MountMonitor(const QString& tablePath = QString::fromLatin1(processMountTable),
                          QObject* parent = nullptr);
    ~MountMonitor() override;

    MountMonitor(const MountMonitor&) = delete;
    MountMonitor& operator=(const MountMonitor&) = delete;

    // Rereads the table and reports the difference from the last read. A table
    // that cannot be read is skipped, so the next good read is compared with
    // the last good one rather than reporting every volume as gone.
    void recheck();

Q_SIGNALS:
    // Once per reread that found mounts come or go: several mounts seen
    // together make one signal.
    void volumesChanged(const QList<pivra::MountEntry>& mounted, const QList<pivra::MountEntry>& unmounted);

private:
    QString tablePath_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QList<MountEntry> table_;
};

} // namespace pivra
