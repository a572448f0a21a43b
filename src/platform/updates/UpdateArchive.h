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

// The text an update's signature covers: the version the feed lists the
// release under and the SHA-256 of its archive, so that a signature made for
// one version does not hold for the same archive listed as another:
//
//   Pivra update
//   version: 2.0
//   sha256: <64 lowercase hexadecimal digits>
//
// each line ending in a line feed.
QByteArray signedUpdateText(const QString& version, const QByteArray& sha256);

// True when `signatureBase64` is the Ed25519 signature by `publicKey` (32
// raw bytes) of signedUpdateText() for `version` and the file. Any thread.
bool verifyUpdateSignature(const QString& file, const QString& version, const QByteArray& publicKey,
                           const QString& signatureBase64);

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
