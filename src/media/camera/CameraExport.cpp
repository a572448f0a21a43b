// Copying a device file into a local file. The device hands out data only in
// ranged reads, so the copy is a chain of reads of at most 4 MiB, each
// written before the next is asked for; the chain lives in the completions
// and runs on whatever thread the device completes on.
#include "media/camera/CameraSourceManager.h"

#include <QFile>

#include <algorithm>
#include <memory>

namespace pivra {
namespace {

constexpr std::int64_t chunkSize = 4 * 1024 * 1024;

PivraError unavailableError()
{
    return {QStringLiteral("Pivra.CameraExport"), 1, QStringLiteral("The iPhone is disconnected or locked.")};
}

class ExportCopy : public std::enable_shared_from_this<ExportCopy> {
public:
    ExportCopy(CameraBackend& backend, CameraFileEntry entry, const QString& destination,
               CameraSourceManager::ExportCompletion completion, std::shared_ptr<CameraExportProgress> progress)
        : backend_(backend), entry_(std::move(entry)), size_(entry_.file.knownSize()), output_(destination),
          completion_(std::move(completion)),
          progress_(progress ? std::move(progress) : std::make_shared<CameraExportProgress>())
    {
    }

    void start()
    {
        if (!output_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            output_.remove();
            completion_(fileWriteUnknownError());
            return;
        }
        next();
    }

private:
    // Without a size the device can be trusted with, reading goes on until
    // the device has nothing more to give.
    void next()
    {
        if (progress_->cancelled) {
            fail(cameraExportCancelledError());
            return;
        }
        if (size_ && offset_ >= *size_) {
            finish();
            return;
        }
        const std::int64_t length = size_ ? std::min(*size_ - offset_, chunkSize) : chunkSize;
        backend_.read(entry_.device, entry_.file, offset_, length, CameraReadPurpose::copy,
                      [self = shared_from_this()](std::optional<QByteArray> data, std::optional<PivraError> error) {
                          self->received(data, error);
                      });
    }

    void received(const std::optional<QByteArray>& data, const std::optional<PivraError>& error)
    {
        if (error) {
            fail(error->code == cameraDisconnectedErrorCode ? unavailableError() : *error);
            return;
        }
        if (!data || data->isEmpty()) {
            // The end of a file of unknown size; before a known size, a device gone quiet.
            if (size_) {
                fail(unavailableError());
            } else {
                finish();
            }
            return;
        }
        if (output_.write(*data) != data->size()) {
            fail(writeError());
            return;
        }
        offset_ += data->size();
        progress_->copied = offset_;
        next();
    }

    void finish()
    {
        if (!output_.flush()) {
            fail(writeError());
            return;
        }
        output_.close();
        if (output_.error() != QFileDevice::NoError) {
            fail(writeError());
            return;
        }
        completion_(std::nullopt);
    }

    void fail(const PivraError& error)
    {
        output_.close();
        output_.remove();
        completion_(error);
    }

    PivraError writeError() const
    {
        return {QStringLiteral("Pivra.File"), fileWriteUnknownErrorCode, output_.errorString()};
    }

    CameraBackend& backend_;
    const CameraFileEntry entry_;
    std::optional<std::int64_t> size_;
    QFile output_;
    std::int64_t offset_ = 0;
    const CameraSourceManager::ExportCompletion completion_;
    const std::shared_ptr<CameraExportProgress> progress_;
};

} // namespace

PivraError cameraExportCancelledError()
{
    return {QStringLiteral("Pivra.CameraExport"), 2, QStringLiteral("The copy was stopped.")};
}

void CameraSourceManager::exportFile(const QString& path, const QString& destination, ExportCompletion completion,
                                     std::shared_ptr<CameraExportProgress> progress)
{
    const auto entry = files_.constFind(path);
    if (entry == files_.cend()) {
        completion(unavailableError());
        return;
    }
    std::make_shared<ExportCopy>(backend_, *entry, destination, std::move(completion), std::move(progress))->start();
}

} // namespace pivra
