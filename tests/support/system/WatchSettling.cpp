#include "support/system/WatchSettling.h"

#include "platform/folders/FolderWatcher.h"
#include "support/system/TimerOrder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace pivra::test {

bool settleWatch(FolderWatcher* stream, const QString& marker, std::chrono::milliseconds debounce)
{
    if (stream != nullptr) {
        QSignalSpy batches(stream, &FolderWatcher::changed);
        const QString path = QDir::cleanPath(marker);
        if (!(QDir(path).exists() ? QDir().rmdir(path) : QDir().mkdir(path))) {
            return false;
        }
        const auto reported = [&] {
            return std::any_of(batches.cbegin(), batches.cend(),
                               [&](const QList<QVariant>& batch) { return batch.at(0).toStringList().contains(path); });
        };
        if (!QTest::qWaitFor(reported, 10000)) {
            return false;
        }
    }
    return outlastTimers(2 * debounce);
}

} // namespace pivra::test
