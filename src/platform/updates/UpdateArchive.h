#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <stdexcept>

namespace pivra {

// An update archive that must not be installed; the message is for people.
class UpdateArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when `signatureBase64` is the Ed25519 signature by `publicKey` (32
// raw bytes) of the whole file. Any thread.
bool verifyEd25519(const QString& file, const QByteArray& publicKey, const QString& signatureBase64);

// Unpacks a tar archive (compressed as libarchive detects) into the folder
// `target`, which must exist. Refuses, by throwing UpdateArchiveError, any
// entry that would reach outside `target`: an absolute path, a ".." step, a
// link that is absolute or leaves the folder once the archive's links are
// followed, a hard link to a link, and devices, pipes and sockets. Folders
// are given their modes & 0755, files 0755 when any may run them, else 0644.
// Entries before the refused one stay behind; the caller removes `target`.
// `progress` hears the share of the archive read, 0 to 1; `cancelled` is
// polled between entries. Any thread.
void extractArchive(const QString& archive, const QString& target,
                    const std::function<void(double)>& progress, const std::atomic<bool>& cancelled);

} // namespace pivra
