#include "settings/ProcessText.h"

#include <QLocale>

#include <cmath>

namespace pivra::ProcessText {

namespace {

const QString separator = QStringLiteral(" · ");

QString count(qint64 value)
{
    return QLocale().toString(value);
}

QString verb(PivraProcess::Kind kind)
{
    switch (kind) {
    case PivraProcess::Kind::indexing:
        return QStringLiteral("indexed");
    case PivraProcess::Kind::thumbnails:
    case PivraProcess::Kind::videoPreviews:
        return QStringLiteral("prepared");
    case PivraProcess::Kind::locations:
        return QStringLiteral("read");
    }
    return {};
}

QString failures(const PivraProcess& process)
{
    return process.failed >= 1 ? separator + count(process.failed) + QStringLiteral(" unavailable") : QString();
}

} // namespace

QString noun(PivraProcess::Kind kind, int number)
{
    const bool one = number == 1;
    switch (kind) {
    case PivraProcess::Kind::indexing:
    case PivraProcess::Kind::locations:
        return one ? QStringLiteral("item") : QStringLiteral("items");
    case PivraProcess::Kind::thumbnails:
        return one ? QStringLiteral("thumbnail") : QStringLiteral("thumbnails");
    case PivraProcess::Kind::videoPreviews:
        return one ? QStringLiteral("preview") : QStringLiteral("previews");
    }
    return {};
}

QString progress(const PivraProcess& process)
{
    QString text;
    if (!process.total) {
        text = count(process.completed) + u' ' + noun(process.kind, process.completed) + QStringLiteral(" found");
    } else {
        text = count(process.completed) + QStringLiteral(" of ") + count(*process.total) + u' '
               + noun(process.kind, *process.total);
    }
    return text + failures(process);
}

QString duration(Timestamp from, Timestamp to)
{
    const double interval = std::trunc(to - from);
    const qint64 seconds = interval > 0 ? static_cast<qint64>(interval) : 0;
    if (seconds < 60) {
        return QString::number(seconds) + QStringLiteral(" s");
    }
    if (seconds < 3600) {
        return QString::number(seconds / 60) + QStringLiteral(" min ") + QString::number(seconds % 60)
               + QStringLiteral(" s");
    }
    return QString::number(seconds / 3600) + QStringLiteral(" h ") + QString::number(seconds % 3600 / 60)
           + QStringLiteral(" min");
}

QString result(const PivraProcess& process)
{
    QString text;
    switch (process.state) {
    case PivraProcess::State::failed:
        text = QStringLiteral("Failed");
        break;
    case PivraProcess::State::stopped:
        text = QStringLiteral("Stopped after ") + count(process.completed);
        if (process.total) {
            text += QStringLiteral(" of ") + count(*process.total);
        }
        break;
    case PivraProcess::State::finished:
    case PivraProcess::State::running:
        text = count(process.completed) + u' ' + noun(process.kind, process.completed) + u' ' + verb(process.kind);
        break;
    }
    text += failures(process);
    if (process.finishedAt) {
        text += separator + duration(process.startedAt, *process.finishedAt);
    }
    return text;
}

} // namespace pivra::ProcessText
