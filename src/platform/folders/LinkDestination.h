#pragma once

#include <QString>

#include <cstdint>

namespace pivra {

// Whether a link met on the way to `path` leads onto another filesystem than
// the one with the device number `filesystem`. Each link is read with
// readlink and where it leads is looked up in the mount table before any of
// it is touched, so that a share it leads to that does not answer holds no
// one up; the folders on the way that lead onto `filesystem`, or that the
// path's own text names, are looked at as they are. False when no link leads
// away, also for a path that does not exist.
bool linkLeadsOff(const QString& path, std::uint64_t filesystem);

} // namespace pivra
