#include "media/thumbnails/render/RenderAttempts.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace pivra {
namespace {

// A mark holds the attempts of its own its name lost before, and whether the
// attempt it stands for had others beside it: "1 crowded". A mark of earlier
// versions holds only the count of attempts made, that one included, and is
// read as lost beside others, since nothing says it was alone.
struct Mark {
    int lostAlone = 0;
    bool crowded = false;
};

std::optional<Mark> readMark(const QString& file)
{
    QFile mark(file);
    if (!mark.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = mark.readAll().simplified().split(' ');
    const int count = fields.value(0).toInt();
    if (fields.size() < 2) {
        return Mark{std::max(count - 1, 0), true};
    }
    return Mark{count, fields.value(1) == "crowded"};
}

} // namespace

RenderAttempts::RenderAttempts(QString directory) : directory_(std::move(directory))
{
    QDir().mkpath(directory_);
}

std::unique_ptr<RenderAttempts::Attempt> RenderAttempts::begin(const QString& name)
{
    std::unique_lock lock(lock_);
    if (const auto found = running_.find(name); found != running_.end()) {
        ++found->renders;
        return std::make_unique<Attempt>(*this, name);
    }
    Running attempt;
    bool suspect = false;
    if (const std::optional<Mark> mark = readMark(markFile(name))) {
        attempt.lostAlone = mark->lostAlone + (mark->crowded ? 0 : 1);
        suspect = mark->crowded;
    }
    if (attempt.lostAlone > forgiven) {
        return nullptr;
    }
    const auto someoneAlone = [this] {
        return std::any_of(running_.cbegin(), running_.cend(), [](const Running& other) { return other.alone; });
    };
    ++waiting_;
    if (suspect) {
        ++suspectsWaiting_;
        changed_.wait(lock, [this] { return running_.isEmpty(); });
        --suspectsWaiting_;
        attempt.alone = true;
    } else {
        // A suspect waiting goes first, or it would wait for ever on a busy queue.
        changed_.wait(lock, [&] { return suspectsWaiting_ == 0 && !someoneAlone(); });
    }
    --waiting_;
    attempt.crowded = !running_.isEmpty();
    for (auto other = running_.begin(); other != running_.end(); ++other) {
        if (!other->crowded) {
            other->crowded = true;
            writeMark(other.key(), *other);
        }
    }
    attempt.renders = 1;
    writeMark(name, attempt);
    running_.insert(name, attempt);
    return std::make_unique<Attempt>(*this, name);
}

int RenderAttempts::waiting()
{
    const std::lock_guard guard(lock_);
    return waiting_;
}

void RenderAttempts::end(const QString& name)
{
    {
        const std::lock_guard guard(lock_);
        const auto found = running_.find(name);
        if (found == running_.end() || --found->renders > 0) {
            return;
        }
        running_.erase(found);
        QFile::remove(markFile(name));
    }
    changed_.notify_all();
}

void RenderAttempts::writeMark(const QString& name, const Running& running) const
{
    QFile mark(markFile(name));
    if (mark.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        mark.write(QByteArray::number(running.lostAlone) + (running.crowded ? " crowded" : " alone"));
    }
}

QString RenderAttempts::markFile(const QString& name) const
{
    return directory_ + QLatin1Char('/') + name;
}

} // namespace pivra
