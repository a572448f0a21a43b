#pragma once

// The process's resident memory as the kernel counts it, for benchmarks that
// report it.

#include <QByteArray>
#include <QFile>

namespace pivra::bench {

// A figure of /proc/self/status in MB: "VmRSS:" now, "VmHWM:" the peak.
inline double residentMegabytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(field.size()).trimmed().split(' ').front().toDouble() / 1024;
        }
    }
    return 0;
}

// Starts the peak (VmHWM) again from what is resident now.
inline void resetResidentPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) {
        refs.write("5");
    }
}

} // namespace pivra::bench
