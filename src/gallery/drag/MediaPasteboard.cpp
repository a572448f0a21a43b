#include "gallery/drag/MediaPasteboard.h"

#include "gallery/drag/DeviceOriginalCopy.h"

#include "media/camera/CameraItemPaths.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/folders/FileNameText.h"
#include "platform/folders/PrivateFolder.h"
#include "platform/runtime/threads/GuiReturn.h"
#include "platform/runtime/Task.h"
#include "platform/runtime/threads/Pool.h"

#include <QDir>
#include <QMimeData>
#include <QStandardPaths>
#include <QUuid>

namespace pivra {

namespace {

const QString uriListFormat = QStringLiteral("text/uri-list");
const QString copiedFilesFormat = QStringLiteral("x-special/gnome-copied-files");

PivraError folderError(const QString& folder)
{
    return {QStringLiteral("Pivra.File"), fileWriteUnknownErrorCode,
            QStringLiteral("Could not create the folder %1.").arg(QDir::toNativeSeparators(folder))};
}

} // namespace

// The copies that refused drops left running, by item path, for the next
// drag of the same original; and who hears of refused drops.
struct detail::DeviceDrags {
    QHash<QString, std::shared_ptr<DeviceOriginalCopy>> awaited;
    GuiReturn refusedTo{nullptr};
    MediaPasteboard::RefusedDropHandler onRefused;

    // Once a drag is over: a copy handed over belongs to its target; one a
    // drop was refused stays for the next drag (a failed one is no use);
    // one no target asked for, and no earlier drop waits for, goes.
    void dragEnded(const MediaItem& item, const std::shared_ptr<DeviceOriginalCopy>& copy, bool handedOver,
                   bool refused)
    {
        const bool awaitedBefore = awaited.value(item.path()) == copy;
        if (handedOver || (refused && copy->state() == DeviceOriginalCopy::State::failed)) {
            awaited.remove(item.path());
        } else if (refused) {
            awaited.insert(item.path(), copy);
        } else if (!awaitedBefore) {
            copy->discard();
        }
        if (refused && !handedOver && onRefused) {
            // Later, not from inside the drag's teardown, which may be the window's own.
            refusedTo.post(
                [handler = onRefused, drop = MediaPasteboard::RefusedDrop{item, copy->error()}] { handler(drop); });
        }
    }
};

namespace {

// A device original's drag data: the copy's file once the copy is whole,
// nothing before. The target's request is answered at once either way; the
// drag's owner hears how it went when the data goes with the drag.
class DeviceOriginalMimeData : public QMimeData {
public:
    DeviceOriginalMimeData(std::shared_ptr<detail::DeviceDrags> drags, MediaItem item,
                           std::shared_ptr<DeviceOriginalCopy> copy)
        : drags_(std::move(drags)), item_(std::move(item)), copy_(std::move(copy))
    {
    }

    ~DeviceOriginalMimeData() override { drags_->dragEnded(item_, copy_, handedOver_, refused_); }

    QStringList formats() const override { return {uriListFormat, copiedFilesFormat}; }
    const std::shared_ptr<DeviceOriginalCopy>& copy() const { return copy_; }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        if (format != uriListFormat && format != copiedFilesFormat) {
            return QMimeData::retrieveData(format, type);
        }
        const QString path = copy_->readyPath();
        if (path.isEmpty()) {
            refused_ = true;
            return {};
        }
        handedOver_ = true;
        const QList<QUrl> urls{fileUrl(path)};
        return format == uriListFormat ? MediaPasteboard::uriListBytes(urls) : MediaPasteboard::copiedFilesBytes(urls);
    }

private:
    const std::shared_ptr<detail::DeviceDrags> drags_;
    const MediaItem item_;
    const std::shared_ptr<DeviceOriginalCopy> copy_;
    mutable bool handedOver_ = false;
    mutable bool refused_ = false;
};

} // namespace

MediaPasteboard::MediaPasteboard(CameraSourceManager* cameras, QString sharedRoot)
    : cameras_(cameras), sharedRoot_(std::move(sharedRoot)), deviceDrags_(std::make_shared<detail::DeviceDrags>())
{
}

QString MediaPasteboard::sharedFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Pivra/Pivra Shared");
}

QString MediaPasteboard::newShareFolder() const
{
    if (!ensurePrivateFolder(sharedRoot_)) {
        return {};
    }
    const QString folder = sharedRoot_ + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return ensurePrivateFolder(folder) ? folder : QString();
}

namespace {

Task<void> handOverDragData(MediaPasteboard pasteboard, MediaItem item, MediaPasteboard::DragDataHandler onData)
{
    if (isCameraItem(item)) {
        onData(pasteboard.deviceMimeData(item));
        co_return;
    }
    // Awaited into a local: GCC 12 miscompiles a co_await inside a condition.
    const bool readable = co_await runOnPool(PoolPriority::userInitiated, &isReadableFile, item.path());
    onData(readable ? MediaPasteboard::filesMimeData({item.path()}) : nullptr);
}

} // namespace

void MediaPasteboard::dragData(const MediaItem& item, QObject* context, DragDataHandler onData) const
{
    startTask(context, handOverDragData(*this, item, std::move(onData)));
}

std::unique_ptr<QMimeData> MediaPasteboard::deviceMimeData(const MediaItem& item) const
{
    if (!isCameraItem(item) || cameras_ == nullptr || !cameras_->files().contains(item.path())) {
        return nullptr;
    }
    std::shared_ptr<DeviceOriginalCopy> copy = deviceDrags_->awaited.value(item.path());
    if (!copy || copy->state() == DeviceOriginalCopy::State::failed) {
        const QString folder = newShareFolder();
        copy = folder.isEmpty() ? DeviceOriginalCopy::failed(folderError(sharedRoot_))
                                : DeviceOriginalCopy::start(*cameras_, item, folder);
    }
    return std::make_unique<DeviceOriginalMimeData>(deviceDrags_, item, std::move(copy));
}

std::shared_ptr<const DeviceOriginalCopy> MediaPasteboard::deviceCopy(const QMimeData& data)
{
    const auto* device = dynamic_cast<const DeviceOriginalMimeData*>(&data);
    return device != nullptr ? device->copy() : nullptr;
}

void MediaPasteboard::setRefusedDropHandler(const QObject* context, RefusedDropHandler handler)
{
    deviceDrags_->refusedTo = GuiReturn(context);
    deviceDrags_->onRefused = std::move(handler);
}

void MediaPasteboard::localFile(const MediaItem& item, QObject* context, LocalFileCompletion completion) const
{
    auto finish = [back = GuiReturn(context), completion = std::move(completion)](LocalFile file) {
        back.post([completion, file = std::move(file)] { completion(file); });
    };
    if (!isCameraItem(item)) {
        finish({item.path(), std::nullopt});
        return;
    }
    if (cameras_ == nullptr) {
        finish({{}, PivraError{QStringLiteral("Pivra.CameraExport"), 1,
                               QStringLiteral("The iPhone is disconnected or locked.")}});
        return;
    }
    const QString folder = newShareFolder();
    if (folder.isEmpty()) {
        finish({{}, folderError(sharedRoot_)});
        return;
    }
    const QString destination = folder + u'/' + safeCameraFileName(item.name());
    cameras_->exportFile(item.path(), destination, [finish, destination](std::optional<PivraError> error) {
        finish(error ? LocalFile{{}, error} : LocalFile{destination, std::nullopt});
    });
}

std::unique_ptr<QMimeData> MediaPasteboard::filesMimeData(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(fileUrl(path));
    }
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    data->setData(copiedFilesFormat, copiedFilesBytes(urls));
    return data;
}

QByteArray MediaPasteboard::uriListBytes(const QList<QUrl>& urls)
{
    QByteArray list;
    for (const QUrl& url : urls) {
        list += url.toEncoded() + "\r\n";
    }
    return list;
}

QByteArray MediaPasteboard::copiedFilesBytes(const QList<QUrl>& urls)
{
    QByteArray copied("copy");
    for (const QUrl& url : urls) {
        copied += '\n' + url.toEncoded();
    }
    return copied;
}

void MediaPasteboard::removeSharesOlderThan(const QString& sharedRoot, const QDateTime& before)
{
    const std::int64_t limit = before.toSecsSinceEpoch();
    removeOwnEntries(sharedRoot, [limit](const QString& name, const struct stat& status) {
        return S_ISDIR(status.st_mode) && isUuidName(name) && std::int64_t(status.st_mtime) < limit;
    });
}

void MediaPasteboard::removeOldShares()
{
    detail::startOnPool(PoolPriority::utility, [root = sharedFolder()] {
        removeSharesOlderThan(root, QDateTime::currentDateTime().addDays(-1));
    });
}

} // namespace pivra
