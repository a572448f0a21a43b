#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

#include <sys/stat.h>

namespace pivra {

// Folders of the program's own, which it fills and empties itself, and in
// which nothing may make it act on anything else: no other user's entry, no
// link followed.

// Makes `path` a folder only this user can enter (0700, its parents as they
// come) and answers whether it is one now: a real folder, not a link, owned
// by this user. A folder of ours with looser modes is tightened; one owned
// by anyone else, or a link in its place, is left alone and refused, and
// nothing may be put in it.
bool ensurePrivateFolder(const QString& path);

// Which entries of a folder to remove, told by name and by the entry's own
// status (lstat: a link is a link, whatever it points at).
using EntryChoice = std::function<bool(const QString& name, const struct stat& status)>;

// Removes the entries of `folder` that `chosen` picks among those owned by
// this user, without following a link anywhere: a folder goes with all it
// holds, a link inside it goes as a link. Nothing is touched unless `folder`
// itself is a real folder (not a link) owned by this user. Blocking disk
// work; answers how many entries were removed.
int removeOwnEntries(const QString& folder, const EntryChoice& chosen);

// Removes the entry at `path`, a folder with all it holds, without following
// a link anywhere: a link at `path` or inside goes as a link. Folders made
// read-only are given their owner's rights first, so that they can be
// emptied. Blocking disk work; true when nothing is left at `path`.
bool removeFolderTree(const QString& path);

// Whether an entry is a file (not a link, not a folder) last written before
// `before`, to the millisecond: a temporary of an earlier run.
bool isFileWrittenBefore(const struct stat& status, const QDateTime& before);

// Whether `name` is a canonical UUID string (as QUuid writes it without
// braces, either case) followed by `suffix`: the names the program gives
// its own temporary folders and files.
bool isUuidName(const QString& name, QLatin1StringView suffix = {});

} // namespace pivra
