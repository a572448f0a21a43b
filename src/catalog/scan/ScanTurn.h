#pragma once

#include "platform/runtime/Task.h"
#include "platform/runtime/TaskHandle.h"

#include <QUuid>
#include <memory>
#include <utility>

namespace pivra {

// One source's turn to be scanned on one catalog.
//
// A scan stamps the rows it sees and at its end deletes the rows of its
// source stamped otherwise, so two scans of one source that overlap would
// delete each other's rows. Scans therefore take turns: await takeScanTurn()
// before reading the catalog and keep the turn until the scan has ended,
// whichever way it ends. GUI thread only.
class ScanTurn {
public:
    using Key = std::pair<const void*, QUuid>; // the catalog and the source

    explicit ScanTurn(Key key);
    ~ScanTurn(); // wakes the scans waiting for the source

    ScanTurn(const ScanTurn&) = delete;
    ScanTurn& operator=(const ScanTurn&) = delete;

private:
    Key key_;
    std::shared_ptr<TaskState> running_;
};

// Waits until no scan of the source runs on the catalog; the caller then
// takes the turn before it next suspends (the scans that were woken with it
// find the turn taken and wait again).
Task<> waitForScanTurn(ScanTurn::Key key);

// Whether a scan of the source runs on the catalog now.
bool isScanTurnTaken(const ScanTurn::Key& key);

} // namespace pivra
