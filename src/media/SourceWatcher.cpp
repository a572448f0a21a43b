#include "media/SourceWatcher.h"

#include "platform/folders/FolderWatcher.h"

#include <algorithm>

namespace pivra {
namespace {

// Pivra keeps its own files in a hidden ".pivra" folder of a source; writing
// them must not look like a change of the library.
bool isOwnFile(const QString& path)
{
    return path.contains(QLatin1String("/.pivra/")) || path.endsWith(QLatin1String("/.pivra"));
}

} // namespace

SourceWatcher::SourceWatcher(const QStringList& paths, std::function<void()> onChange)
    : SourceWatcher(paths, std::move(onChange), Timing{})
{
}

SourceWatcher::SourceWatcher(const QStringList& paths, std::function<void()> onChange, Timing timing)
    : SourceWatcher(paths, {}, std::move(onChange), timing)
{
}

SourceWatcher::SourceWatcher(const QStringList& paths, const QStringList& awaited, std::function<void()> onChange,
                             Timing timing)
    : onChange_(std::move(onChange))
{
    delayedChange_.setSingleShot(true);
    delayedChange_.setInterval(timing.debounce);
    QObject::connect(&delayedChange_, &QTimer::timeout, &delayedChange_, [this] { onChange_(); });
    if (paths.isEmpty() && awaited.isEmpty()) {
        return;
    }
    stream_ = std::make_unique<FolderWatcher>(paths, awaited, timing.latency);
    QObject::connect(stream_.get(), &FolderWatcher::changed, &delayedChange_,
                     [this](const QStringList& batch) { batchArrived(batch); });
}

SourceWatcher::~SourceWatcher()
{
    stop();
}

void SourceWatcher::stop()
{
    delayedChange_.stop();
    if (stream_ != nullptr) {
        stream_->stop();
        stream_.reset();
    }
}

void SourceWatcher::batchArrived(const QStringList& paths)
{
    if (std::all_of(paths.begin(), paths.end(), isOwnFile)) {
        return;
    }
    delayedChange_.start();
}

} // namespace pivra
