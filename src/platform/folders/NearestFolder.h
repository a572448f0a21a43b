#pragma once

#include <QString>

namespace pivra {

// `path` when it is a folder, else its nearest ancestor that is one; empty
// when none is (a relative path that leads nowhere). Reads the disk, and may
// hang as long as the disk does.
QString nearestFolder(const QString& path);

} // namespace pivra
