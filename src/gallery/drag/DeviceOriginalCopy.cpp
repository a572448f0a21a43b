#include "gallery/drag/DeviceOriginalCopy.h"

#include "media/camera/CameraItemPaths.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/threads/Pool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>

namespace pivra {

namespace {

// Only what the copy wrote goes: its one file, then its folder if empty.
void removeCopy(const QString& path, const QString& folder)
{
    QFile::remove(path);
    QDir().rmdir(folder);
}

} // namespace

DeviceOriginalCopy::DeviceOriginalCopy(QString folder, QString path, std::int64_t size)
    : folder_(std::move(folder)), path_(std::move(path)), size_(size),
      progress_(std::make_shared<CameraExportProgress>())
{
}

std::shared_ptr<DeviceOriginalCopy> DeviceOriginalCopy::start(CameraSourceManager& cameras, const MediaItem& item,
                                                              const QString& folder)
{
    const QString path = folder + u'/' + safeCameraFileName(item.name());
    std::shared_ptr<DeviceOriginalCopy> copy(new DeviceOriginalCopy(folder, path, item.fileSize()));
    // Whoever stops caring about the copy sets the progress's cancel flag;
    // whichever side sees it last removes what was written, so nothing of a
    // discarded copy stays behind whatever the order of events.
    // Its end is heard for as long as the program runs; whether the copy
    // itself is still there is asked of its weak pointer.
    cameras.exportFile(
        item.path(), path,
        [weak = copy->weak_from_this(), progress = copy->progress_, path, folder,
         back = GuiReturn(QCoreApplication::instance())](const std::optional<PivraError>& error) {
            const bool posted = !progress->cancelled && back.post([weak, progress, path, folder, error] {
                if (progress->cancelled) {
                    detail::startOnPool(PoolPriority::utility, [path, folder] { removeCopy(path, folder); });
                } else if (const std::shared_ptr<DeviceOriginalCopy> self = weak.lock()) {
                    self->finished(error);
                }
            });
            if (error || !posted) {
                removeCopy(path, folder); // a failed copy is of no use either
            }
        },
        copy->progress_);
    return copy;
}

std::shared_ptr<DeviceOriginalCopy> DeviceOriginalCopy::failed(PivraError error)
{
    std::shared_ptr<DeviceOriginalCopy> copy(new DeviceOriginalCopy({}, {}, 0));
    copy->finished(std::move(error));
    return copy;
}

double DeviceOriginalCopy::fraction() const
{
    if (state_ == State::ready) {
        return 1;
    }
    return size_ > 0 ? std::clamp(double(progress_->copied) / double(size_), 0.0, 1.0) : 0.0;
}

void DeviceOriginalCopy::finished(std::optional<PivraError> error)
{
    error_ = std::move(error);
    state_ = error_ ? State::failed : State::ready;
}

void DeviceOriginalCopy::discard()
{
    const bool wasCancelled = progress_->cancelled.exchange(true);
    if (!wasCancelled && state_ != State::copying && !path_.isEmpty()) {
        detail::startOnPool(PoolPriority::utility, [path = path_, folder = folder_] { removeCopy(path, folder); });
    }
}

} // namespace pivra
