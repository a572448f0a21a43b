#pragma once

#include "platform/updates/UpdateLeftovers.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pivra {

// What a staged update is checked against before it may be installed.
struct UpdateClaim {
    QString version;   // as the feed lists it: the signature covers it, the program must say it
    QString signature; // Base64, over signedUpdateText() of the version and the archive
    QString program;   // the program in the tree, relative to its root
};

// Why a staged update was refused. `lasting` when the release itself is at
// fault (its signature, or the version its program says), so that fetching
// it again could only end the same way.
struct StagingRefusal {
    QString message; // for people
    bool lasting = false;
};

// The folder beside the install folder that one download fills: the archive
// as it arrives, then, once its signature holds, the unpacked tree under
// "root". Every method touches the disk and runs on the engine's staging
// thread, one after the other; only the counters may be read elsewhere.
class UpdateStaging {
public:
    explicit UpdateStaging(QString folder) : folder_(std::move(folder)) {}
    ~UpdateStaging();
    UpdateStaging(const UpdateStaging&) = delete;
    UpdateStaging& operator=(const UpdateStaging&) = delete;

    const QString& folder() const { return folder_; }
    QString root() const { return folder_ + QStringLiteral("/root"); }

    // Makes the folder (0700), locks it and opens the archive for writing.
    bool create();
    // Appends to the archive; false once any write has failed.
    bool write(const QByteArray& chunk);
    // Why the archive could not be saved, for people; empty while nothing
    // has failed.
    const QString& failure() const { return failure_; }
    // Closes the archive, checks its Ed25519 signature, unpacks it into
    // root() and asks the program there for its version, which must be the
    // claimed one. None when the tree is ready to install.
    std::optional<StagingRefusal> verifyAndUnpack(const QByteArray& publicKey, const UpdateClaim& claim,
                                                  const std::function<void(double)>& progress,
                                                  const std::atomic<bool>& cancelled);
    // Removes the folder and lets go of its lock.
    void remove();
    // Lets go of the lock for the helper that installs the folder.
    void handOver() { lock_.reset(); }

    // Bytes handed to write() and not yet written; any thread.
    std::atomic<std::uint64_t>& pending() { return pending_; }

private:
    QString archivePath() const { return folder_ + QStringLiteral("/archive"); }
    // Closes the archive; false, with the failure noted, when the last of
    // it could not be written.
    bool closeArchive();
    void failed(int error);

    QString folder_;
    int archive_ = -1; // opened on the staging thread, which alone uses it
    std::optional<FolderLock> lock_;
    QString failure_;
    std::atomic<std::uint64_t> pending_{0};
};

} // namespace pivra
