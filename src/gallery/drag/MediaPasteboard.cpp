#include "gallery/drag/MediaPasteboard.h"

#include "media/camera/CameraItemPaths.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/folders/PrivateFolder.h"
#include "platform/runtime/Pool.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
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

// A device original that is copied out only when a drop target reads it.
// The copy runs while the target waits for the data, inside the drag's own
// event loop, so the copy's completion is awaited in a nested loop that keeps
// the window painting. One copy serves every later read of the same drag.
class DeviceOriginalMimeData : public QMimeData {
public:
    DeviceOriginalMimeData(const MediaPasteboard& pasteboard, CameraSourceManager& cameras, MediaItem item)
        : pasteboard_(pasteboard), cameras_(cameras), item_(std::move(item))
    {
    }

    QStringList formats() const override { return {uriListFormat, copiedFilesFormat}; }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        if (format != uriListFormat && format != copiedFilesFormat) {
            return QMimeData::retrieveData(format, type);
        }
        if (!exported_ && !exporting_) {
            exported_ = exportOriginal();
        }
        if (!exported_ || exported_->isEmpty()) {
            return {};
        }
        const QList<QUrl> urls{QUrl::fromLocalFile(*exported_)};
        return format == uriListFormat ? MediaPasteboard::uriListBytes(urls) : MediaPasteboard::copiedFilesBytes(urls);
    }

private:
    // The copied file's path; empty when the copy failed.
    QString exportOriginal() const
    {
        exporting_ = true;
        const QString folder = pasteboard_.newShareFolder();
        QString destination;
        if (!folder.isEmpty()) {
            destination = folder + u'/' + safeCameraFileName(item_.name());
            QEventLoop loop;
            bool done = false;
            QPointer<QEventLoop> waiting(&loop);
            cameras_.exportFile(item_.path(), destination, [&, waiting](std::optional<PivraError> error) {
                // Any thread: the answer is handed to the waiting loop's.
                QMetaObject::invokeMethod(
                    waiting, [&, waiting, failed = error.has_value()] {
                        if (failed) {
                            destination.clear();
                        }
                        done = true;
                        if (waiting) {
                            waiting->quit();
                        }
                    },
                    Qt::QueuedConnection);
            });
            if (!done) {
                loop.exec(QEventLoop::ExcludeUserInputEvents);
            }
        }
        exporting_ = false;
        return destination;
    }

    const MediaPasteboard pasteboard_;
    CameraSourceManager& cameras_;
    const MediaItem item_;
    mutable std::optional<QString> exported_;
    mutable bool exporting_ = false;
};

} // namespace

MediaPasteboard::MediaPasteboard(CameraSourceManager* cameras, QString sharedRoot)
    : cameras_(cameras), sharedRoot_(std::move(sharedRoot))
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

std::unique_ptr<QMimeData> MediaPasteboard::mimeData(const MediaItem& item) const
{
    if (isCameraItem(item)) {
        if (cameras_ == nullptr || !cameras_->files().contains(item.path())) {
            return nullptr;
        }
        return std::make_unique<DeviceOriginalMimeData>(*this, *cameras_, item);
    }
    if (!QFileInfo(item.path()).isFile()) {
        return nullptr;
    }
    return filesMimeData({item.path()});
}

void MediaPasteboard::localFile(const MediaItem& item, QObject* context, LocalFileCompletion completion) const
{
    auto finish = [context = QPointer<QObject>(context), completion = std::move(completion)](LocalFile file) {
        QMetaObject::invokeMethod(
            context, [completion, file = std::move(file)] { completion(file); }, Qt::QueuedConnection);
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
        urls.append(QUrl::fromLocalFile(path));
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
