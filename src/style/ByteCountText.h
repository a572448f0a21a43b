#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

namespace pivra {

// A size as the desktop's file dialogs write it, in powers of 1000: "Zero
// KB", "1 byte", "512 bytes", "2 KB", "1.5 MB", "1.25 GB". Kilobytes are
// whole, megabytes carry one decimal and larger units two, without trailing
// zeros; a value that rounds up to 1000 of a unit is written in the next.
QString byteCountText(std::int64_t bytes, const QLocale& locale = QLocale());

} // namespace pivra
