#pragma once

#include <QString>

#include <optional>

namespace pivra {

// An update that was downloaded and verified but could not be installed
// into the install folder (a mount point, which nothing beside it can be
// renamed into; a filesystem that renames no folders): its staging folder
// is kept beside the install folder with a note of why, and the release is
// not downloaded again while the install folder stays as it was when the
// install failed.
struct KeptUpdate {
    QString version; // as the feed listed it
    QString reason;  // why it could not be installed
};

// Notes in a staging folder the version of the update it holds, once
// verified.
void noteStagedVersion(const QString& staging, const QString& version);

// The version noted in a staging folder; empty when none is.
QString stagedVersion(const QString& staging);

// Notes in a staging folder that its update could not be installed into
// `installRoot` for `reason`, along with the install folder's identity and
// status as they now are. The helper calls it after a failed install.
void keepFailedInstall(const QString& staging, const QString& installRoot, const QString& reason);

// The update a staging folder keeps for `installRoot`, or none when it
// keeps none, or keeps one for an install folder that has changed since.
std::optional<KeptUpdate> keptUpdate(const QString& staging, const QString& installRoot);

} // namespace pivra
