#pragma once

// Running folder scans in tests: a scan awaited to its end on the GUI thread,
// with what it reported, and a walk that runs with the file-system rights of
// an ordinary user, so folder permissions bite even when the tests run as root.
#include "catalog/CatalogError.h"
#include "catalog/FolderScan.h"
#include "platform/Cancelled.h"
#include "platform/Drain.h"

#include <QObject>
#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include <sys/fsuid.h>
#include <unistd.h>

namespace pivra::test {

struct ScanRun {
    std::optional<int> processed;
    std::vector<int> progress;
    bool cancelled = false;
    std::optional<CatalogError::Kind> failure;
    // Set to cancel the scan from its progress report number `cancelAtReport`.
    CancelSource* cancelSource = nullptr;
    std::size_t cancelAtReport = 0;
    // Called on each progress report, after it is recorded.
    std::function<void(ScanRun&)> onProgress;
};

inline Task<> awaitScan(CatalogExecutor* catalog, std::shared_ptr<const MediaInspector> inspector, QUuid source,
                        QString root, ScanRun* run, FolderWalker walker)
{
    const CancelToken token = run->cancelSource ? run->cancelSource->token() : CancelToken();
    ScanProgress progress = [run](int processed) {
        run->progress.push_back(processed);
        if (run->cancelSource && run->progress.size() == run->cancelAtReport) {
            run->cancelSource->cancel();
        }
        if (run->onProgress) {
            run->onProgress(*run);
        }
    };
    Task<int> scanning = scan(*catalog, std::move(inspector), source, std::move(root), std::move(progress), token,
                              walker);
    try {
        run->processed = co_await std::move(scanning);
    } catch (const Cancelled&) {
        run->cancelled = true;
    } catch (const CatalogError& error) {
        run->failure = error.kind();
    }
}

inline ScanRun runScan(CatalogExecutor& catalog, std::shared_ptr<const MediaInspector> inspector, const QUuid& source,
                       const QString& root, ScanRun run = {}, FolderWalker walker = &walkFolder)
{
    QObject context;
    startTask(&context, awaitScan(&catalog, std::move(inspector), source, root, &run, walker));
    EXPECT_TRUE(drain());
    return run;
}

// walkFolder() with the file-system identity of "nobody" when the process is
// root, whose rights would otherwise read any folder. The identity is changed
// for one thread of its own only.
inline FolderWalk walkAsOrdinaryUser(const QString& root, const CancelToken& cancel)
{
    if (geteuid() != 0) {
        return walkFolder(root, cancel);
    }
    FolderWalk walk;
    std::thread([&] {
        constexpr uid_t nobody = 65534;
        setfsgid(nobody);
        setfsuid(nobody);
        walk = walkFolder(root, cancel);
    }).join();
    return walk;
}

} // namespace pivra::test
