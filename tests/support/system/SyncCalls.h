#pragma once

#include <QString>

namespace pivra::test {

// How many times this process asked the kernel to put a file under `folder`
// on its disk (fsync, fdatasync, sync_file_range), whoever asked: Qt's
// QSaveFile, SQLite, the program's own code. A test program that calls this
// links this file's own definitions of those functions, which stand before
// the C library's, note the file, and pass each call on.
int syncCallsUnder(const QString& folder);

} // namespace pivra::test
