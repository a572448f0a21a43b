#pragma once

#include "platform/updates/UpdateLeftovers.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pivra {

// The folder beside the install folder that one download fills: the archive
// as it arrives, then, once its signature holds, the unpacked tree under
// "root". Every method touches the disk and runs on the engine's staging
// thread, one after the other; only the counters may be read elsewhere.
class UpdateStaging {
public:
    explicit UpdateStaging(QString folder) : folder_(std::move(folder)) {}

    const QString& folder() const { return folder_; }
    QString root() const { return folder_ + QStringLiteral("/root"); }

    // Makes the folder (0700), locks it and opens the archive for writing.
    bool create();
    // Appends to the archive; false once any write has failed.
    bool write(const QByteArray& chunk);
    // Closes the archive, checks its Ed25519 signature and unpacks it into
    // root(). The refusal for people, empty when the tree is ready.
    QString verifyAndUnpack(const QByteArray& publicKey, const QString& signature,
                            const std::function<void(double)>& progress, const std::atomic<bool>& cancelled);
    // Removes the folder and lets go of its lock.
    void remove();
    // Lets go of the lock for the helper that installs the folder.
    void handOver() { lock_.reset(); }

    // Bytes handed to write() and not yet written; any thread.
    std::atomic<std::uint64_t>& pending() { return pending_; }

private:
    QString folder_;
    std::unique_ptr<QFile> archive_; // made on the staging thread, which alone uses it
    std::optional<FolderLock> lock_;
    bool writable_ = false;
    std::atomic<std::uint64_t> pending_{0};
};

} // namespace pivra
