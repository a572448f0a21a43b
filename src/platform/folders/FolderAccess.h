#pragma once

#include <QString>

namespace pivra {

// Access to a user's folder. The desktop needs no grant to read a folder the
// user can read, so starting always succeeds; starts and stops are counted
// per path, so a holder that starts twice or stops what it never started
// shows up in the counts.
namespace FolderAccess {

bool start(const QString& path);
void stop(const QString& path);
// Starts minus stops for the path.
int held(const QString& path);

} // namespace FolderAccess

// Whether the folder at `path` can be listed: opened as a folder and its first
// entry read. An empty folder can be read; a file cannot. Never lists more
// than that, so a huge folder answers at once.
bool canReadFolder(const QString& path);

} // namespace pivra
