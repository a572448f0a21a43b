#pragma once

#include <QDateTime>
#include <QString>

namespace pivra {

// Where the program keeps its short-lived copies of device files (a file
// read in parts, an original a preview is drawn from): "Pivra/Device Copies"
// in the user's cache folder, a private folder beside "Pivra Shared", and
// not the system's temporary folder, which every user can write to and
// which keeps what a crash left until the machine restarts. Copies an
// earlier run left are swept at start.
namespace CameraTemporaries {

// The folder, made private (PrivateFolder.h) when it is not yet; empty when
// it cannot be (owned by another, or a link), and then no copy is made.
QString folder();

// A new path in the folder for a copy of `fileName`, keeping its extension,
// which readers go by; empty when there is no folder.
QString newPath(const QString& fileName);

// A QTemporaryFile template in the folder for a copy of `fileName`, keeping
// its extension; empty when there is no folder.
QString fileTemplate(const QString& fileName);

// Removes the files in `folder` last written before `before`, never through
// a link. Blocking disk work; answers how many went.
int removeOlderThan(const QString& folder, const QDateTime& before);

// At start, on a pool thread: the copies earlier runs left go.
void removeEarlier();

} // namespace CameraTemporaries
} // namespace pivra
