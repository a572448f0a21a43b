#pragma once

// Holds the whole benchmark process to a share of one processor while it
// lives, through a cgroup of its own: cgroup v2's cpu.max where the unified
// hierarchy offers the cpu controller, else v1's CFS quota. Needs root (or a
// delegated cgroup); where neither can be had it holds nothing and says so.

#include <QDir>
#include <QFile>
#include <QString>

#include <unistd.h>

#include <optional>

namespace pivra::bench {

class ProcessorQuota {
public:
    // `percent` of one processor; 100 or more leaves the process as it is.
    explicit ProcessorQuota(int percent)
    {
        if (percent >= 100) {
            return;
        }
        constexpr int period = 100'000; // microseconds
        const QString quota = QString::number(period * percent / 100);
        const QString name = QStringLiteral("pivra-bench-%1").arg(::getpid());
        for (const Hierarchy& hierarchy : hierarchies()) {
            const QString group = hierarchy.root + QLatin1Char('/') + name;
            if (!QDir().mkdir(group)) {
                continue;
            }
            if (write(group + hierarchy.limitFile, hierarchy.v2 ? quota + QLatin1Char(' ') + QString::number(period)
                                                                : quota)
                && write(group + QStringLiteral("/cgroup.procs"), QString::number(::getpid()))) {
                group_ = group;
                parent_ = hierarchy.root;
                return;
            }
            QDir().rmdir(group);
        }
    }

    ~ProcessorQuota()
    {
        if (group_) {
            write(*parent_ + QStringLiteral("/cgroup.procs"), QString::number(::getpid()));
            QDir().rmdir(*group_);
        }
    }

    ProcessorQuota(const ProcessorQuota&) = delete;
    ProcessorQuota& operator=(const ProcessorQuota&) = delete;

    bool holds() const { return group_.has_value(); }

private:
    struct Hierarchy {
        QString root;
        QString limitFile;
        bool v2;
    };

    static QList<Hierarchy> hierarchies()
    {
        QList<Hierarchy> found;
        for (const QString& root : {QStringLiteral("/sys/fs/cgroup"), QStringLiteral("/sys/fs/cgroup/unified")}) {
            QFile controllers(root + QStringLiteral("/cgroup.subtree_control"));
            if (controllers.open(QIODevice::ReadOnly) && controllers.readAll().split(' ').contains("cpu")) {
                found.append({root, QStringLiteral("/cpu.max"), true});
            }
        }
        if (QFile::exists(QStringLiteral("/sys/fs/cgroup/cpu/cpu.cfs_quota_us"))) {
            found.append({QStringLiteral("/sys/fs/cgroup/cpu"), QStringLiteral("/cpu.cfs_quota_us"), false});
        }
        return found;
    }

    static bool write(const QString& path, const QString& text)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0;
    }

    std::optional<QString> group_;
    std::optional<QString> parent_;
};

} // namespace pivra::bench
