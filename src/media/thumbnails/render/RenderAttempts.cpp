#include "media/thumbnails/render/RenderAttempts.h"

#include <QDir>
#include <QFile>

namespace pivra {

RenderAttempts::RenderAttempts(QString directory) : directory_(std::move(directory))
{
    QDir().mkpath(directory_);
}

std::unique_ptr<RenderAttempts::Attempt> RenderAttempts::begin(const QString& name)
{
    const std::lock_guard guard(lock_);
    int& running = running_[name];
    if (running == 0) {
        // The mark holds the number of attempts made so far, this one included.
        QFile mark(markFile(name));
        const int lost = mark.open(QIODevice::ReadOnly) ? mark.readAll().trimmed().toInt() : 0;
        mark.close();
        if (lost > forgiven) {
            running_.remove(name);
            return nullptr;
        }
        if (mark.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            mark.write(QByteArray::number(lost + 1));
        }
    }
    ++running;
    return std::make_unique<Attempt>(*this, name);
}

void RenderAttempts::end(const QString& name)
{
    const std::lock_guard guard(lock_);
    const auto found = running_.find(name);
    if (found != running_.end() && --*found == 0) {
        running_.erase(found);
        QFile::remove(markFile(name));
    }
}

QString RenderAttempts::markFile(const QString& name) const
{
    return directory_ + QLatin1Char('/') + name;
}

} // namespace pivra
