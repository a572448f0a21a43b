#pragma once

// Running folder scans in tests: a scan awaited to its end on the GUI thread,
// with what it reported, and a walk that runs with the file-system rights of
// an ordinary user, so folder permissions bite even when the tests run as root.
#include "catalog/CatalogError.h"
#include "support/system/TempFolder.h"
#include "catalog/CatalogExecutor.h"
#include "catalog/scan/FolderScan.h"
#include "platform/runtime/Cancelled.h"
#include "platform/runtime/Drain.h"

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
    std::optional<ScanOutcome> outcome;
    // The identity the source was added with, when the test gives one, and
    // whether its folder is known by its place alone.
    std::optional<FolderIdentity> sourceIdentity;
    bool knownByPlace = false;
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
    Task<ScanOutcome> scanning = scan(*catalog, std::move(inspector), source, std::move(root),
                                      SourceFolder{run->sourceIdentity, run->knownByPlace}, std::move(progress),
                                      token, walker);
    try {
        run->outcome = co_await std::move(scanning);
        run->processed = run->outcome->processed;
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

// A library folder "lib", a catalog on its executor and one source, scanned
// through the inspector `Inspector` (a fake, or a counting wrapper around the
// real one).
template<typename Inspector>
class ScanFixture : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        library_ = makeFolder(QStringLiteral("lib"));
        catalog_.emplace([path = pathOf(QStringLiteral("Catalog.sqlite"))] {
            return std::make_unique<MediaCatalog>(path);
        });
    }

    void TearDown() override
    {
        catalog_.reset();
        TempFolderTest::TearDown();
    }

    ScanRun scanFolder(const QString& root, ScanRun run = {}, FolderWalker walker = &walkFolder)
    {
        return runScan(*catalog_, inspector_, source_, root, std::move(run), walker);
    }

    template<typename F>
    auto onCatalog(F job)
    {
        return catalog_->callBlocking(job);
    }

    // The row of the file at `path`, read with every column.
    std::optional<MediaItem> itemAt(const QString& path)
    {
        const QString id = MediaItem::makeID(source_, path);
        return onCatalog([id](MediaCatalog& catalog) { return catalog.item(id); });
    }

    QString library_;
    QUuid source_ = QUuid::createUuid();
    std::shared_ptr<Inspector> inspector_ = std::make_shared<Inspector>();
    std::optional<CatalogExecutor> catalog_;
};

} // namespace pivra::test
