#pragma once

// The process's resident memory as the kernel counts it, for benchmarks that
// report it.

#include <QByteArray>
#include <QFile>

namespace pivra::bench {

// A figure of /proc/<process>/status in MB: "VmRSS:" now, "VmHWM:" the
// peak; this process's unless another's id is given.
inline double residentMegabytes(const QByteArray& field, const QString& process = QStringLiteral("self"))
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
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
inline void resetResidentPeak(const QString& process = QStringLiteral("self"))
{
    QFile refs(QStringLiteral("/proc/%1/clear_refs").arg(process));
    if (refs.open(QIODevice::WriteOnly)) {
        refs.write("5");
    }
}

} // namespace pivra::bench
