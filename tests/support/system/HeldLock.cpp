#include "support/system/HeldLock.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace pivra::test {

HeldLock::HeldLock(const QString& file)
{
    // util-linux's flock runs the command once it holds the lock; the
    // command ends when its input does.
    holder_.start(QStringLiteral("flock"), {file, QStringLiteral("-c"), QStringLiteral("echo held; exec cat")});
    QByteArray said;
    while (!said.contains('\n') && holder_.waitForReadyRead(60'000)) {
        said += holder_.readAllStandardOutput();
    }
    held_ = said == "held\n";
}

HeldLock::~HeldLock()
{
    letGo();
}

void HeldLock::letGo()
{
    if (holder_.state() != QProcess::NotRunning) {
        holder_.closeWriteChannel();
        holder_.waitForFinished();
    }
    held_ = false;
}

bool holdsOpen(qint64 pid, const QString& file)
{
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(entries.cbegin(), entries.cend(), [&](const QString& entry) {
        return QFile::symLinkTarget(descriptors.filePath(entry)) == file;
    });
}

} // namespace pivra::test
