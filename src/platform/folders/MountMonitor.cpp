#include "platform/folders/MountMonitor.h"

#include "platform/runtime/MainThread.h"

#include <QFile>
#include <QSocketNotifier>
#include <QtGlobal>

#include <fcntl.h>
#include <unistd.h>

#include <optional>

namespace pivra {
MountMonitor::MountMonitor(const QString& tablePath, QObject* parent)
    : QObject(parent), tablePath_(tablePath)
{
    assertMainThread();
    table_ = readMountTable(tablePath_).value_or(QList<MountEntry>{});
    // The descriptor only carries the change signal; every reread opens the
    // file afresh. Its signal state starts at the table just read.
    fd_ = ::open(QFile::encodeName(tablePath_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        qWarning("pivra: cannot watch the mount table %s", qUtf8Printable(tablePath_));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Exception);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &MountMonitor::recheck);
}

MountMonitor::~MountMonitor()
{
    notifier_.reset(); // unregistered before its descriptor goes
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void MountMonitor::recheck()
{
    std::optional<QList<MountEntry>> table = readMountTable(tablePath_);
    if (!table) {
        return;
    }
    const MountChange change = diffMountTables(table_, *table);
    table_ = std::move(*table);
    if (!change.isEmpty()) {
        Q_EMIT volumesChanged(change.mounted, change.unmounted);
    }
}

} // namespace pivra
