#include "catalog/scan/ScanTurn.h"

#include "platform/runtime/MainThread.h"

#include <map>

namespace pivra {

namespace {

// The running scan of each source, as a handle that is done once it ended.
std::map<ScanTurn::Key, TaskHandle>& runningScans()
{
    static std::map<ScanTurn::Key, TaskHandle> scans;
    return scans;
}

} // namespace

ScanTurn::ScanTurn(Key key) : key_(std::move(key)), running_(std::make_shared<TaskState>())
{
    assertMainThread();
    runningScans()[key_] = TaskHandle(running_);
}

ScanTurn::~ScanTurn()
{
    auto& scans = runningScans();
    if (const auto found = scans.find(key_); found != scans.end() && found->second == TaskHandle(running_)) {
        scans.erase(found);
    }
    detail::markDone(*running_);
}

bool isScanTurnTaken(const ScanTurn::Key& key)
{
    assertMainThread();
    const auto found = runningScans().find(key);
    return found != runningScans().end() && !found->second.isDone();
}

Task<> waitForScanTurn(ScanTurn::Key key)
{
    assertMainThread();
    for (;;) {
        const auto found = runningScans().find(key);
        if (found == runningScans().end() || found->second.isDone()) {
            co_return;
        }
        const TaskHandle running = found->second;
        co_await running;
    }
}

} // namespace pivra
