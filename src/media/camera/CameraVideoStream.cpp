#include "media/camera/CameraVideoStream.h"

#include "catalog/model/Uuid.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/runtime/threads/Strand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <future>
#include <limits>
#include <unordered_map>

namespace pivra {
namespace {

QString extension(const MediaItem& item)
{
    return QFileInfo(item.name()).suffix();
}

QString contentTypeOf(const MediaItem& item)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + extension(item),
                                                           QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.name() : QStringLiteral("video/quicktime");
}

// Where the request's next bytes start: the framework leaves the current
// offset at 0 until it has moved on.
std::int64_t startOf(const CameraLoadingRequest& request)
{
    const std::int64_t current = request.currentOffset();
    return std::max<std::int64_t>(current != 0 ? current : request.requestedOffset(), 0);
}

std::int64_t endOf(const CameraLoadingRequest& request, std::int64_t start, std::int64_t size)
{
    if (request.requestsAllDataToEnd()) {
        return size;
    }
    const std::int64_t offset = request.requestedOffset();
    const std::int64_t length = std::max<std::int64_t>(request.requestedLength(), 0);
    const bool overflows = offset > std::numeric_limits<std::int64_t>::max() - length;
    return std::min(std::max(overflows ? size : offset + length, start), size);
}

} // namespace

struct CameraVideoStream::State : std::enable_shared_from_this<State> {
    struct Pending {
        std::shared_ptr<CameraLoadingRequest> request;
        std::int64_t end = 0; // exclusive
        int serial = 0;
        std::int64_t awaited = 0; // the number of the read waiting for its answer; 0 for none
    };

    State(const MediaItem& item, Reader reader, std::chrono::milliseconds answerLimit)
        : path(item.path())
        , size(std::max<std::int64_t>(item.fileSize(), 0))
        , contentType(contentTypeOf(item))
        , reader(std::move(reader))
        , answerLimit(answerLimit)
    {
    }

    const QString path;
    const std::int64_t size;
    const QString contentType;
    const Reader reader;
    const std::chrono::milliseconds answerLimit;

    // Strand only.
    std::unordered_map<const CameraLoadingRequest*, Pending> pending;
    bool stopped = false;
    bool disconnected = false; // a read went unanswered for answerLimit
    int nextSerial = 0;
    std::int64_t nextRead = 0;

    Strand strand; // last: its jobs use the members above

    template<typename Job>
    void post(Job job)
    {
        strand.post([self = shared_from_this(), job = std::move(job)] { job(*self); });
    }

    void arrive(const std::shared_ptr<CameraLoadingRequest>& request)
    {
        if (stopped) {
            request->refuse();
            return;
        }
        if (request->wantsContentInformation()) {
            request->setContentInformation(contentType, size);
        }
        if (!request->wantsData()) {
            request->finish(std::nullopt);
            return;
        }
        const std::int64_t start = startOf(*request);
        if (start > size) {
            request->finish(error(QStringLiteral("Invalid video byte range.")));
            return;
        }
        if (disconnected) {
            request->finish(cameraDisconnectedError());
            return;
        }
        pending[request.get()] = Pending{request, endOf(*request, start, size), ++nextSerial};
        readNext(request.get());
    }

    void readNext(const CameraLoadingRequest* id)
    {
        const auto entry = pending.find(id);
        if (stopped || entry == pending.end() || !entry->second.request->wantsData()) {
            return;
        }
        const std::int64_t start = startOf(*entry->second.request);
        const std::int64_t remaining = entry->second.end - start;
        if (remaining < 1) {
            const std::shared_ptr<CameraLoadingRequest> request = std::move(entry->second.request);
            pending.erase(entry);
            request->finish(std::nullopt);
            return;
        }
        const std::int64_t length = std::min(remaining, pieceBytes);
        const std::int64_t read = entry->second.awaited = ++nextRead;
        reader(path, start, length,
               [weak = weak_from_this(), id, serial = entry->second.serial, start,
                length](std::optional<QByteArray> data, std::optional<PivraError> failure) mutable {
                   if (const std::shared_ptr<State> self = weak.lock()) {
                       self->post([id, serial, start, length, data = std::move(data),
                                   failure = std::move(failure)](State& state) {
                           state.pieceArrived(id, serial, start, length, data, failure);
                       });
                   }
               });
        strand.postAfter(answerLimit, [weak = weak_from_this(), id, read] {
            if (const std::shared_ptr<State> self = weak.lock()) {
                self->answerOverdue(id, read);
            }
        });
    }

    void pieceArrived(const CameraLoadingRequest* id, int serial, std::int64_t start, std::int64_t length,
                      const std::optional<QByteArray>& data, const std::optional<PivraError>& failure)
    {
        const auto entry = pending.find(id);
        if (stopped || entry == pending.end() || entry->second.serial != serial) {
            return;
        }
        entry->second.awaited = 0; // one read at a time: this one
        CameraLoadingRequest& request = *entry->second.request;
        if (!request.wantsData() || request.currentOffset() != start) {
            return;
        }
        if (!failure && data && !data->isEmpty() && data->size() <= length) {
            request.respond(*data);
            readNext(id);
            return;
        }
        const std::shared_ptr<CameraLoadingRequest> held = std::move(entry->second.request);
        pending.erase(entry);
        held->finish(failure ? *failure : error(QStringLiteral("The iPhone stopped sending video data.")));
    }

    // The device has not answered a read in time: it is taken for gone,
    // for every request, as it would be had it said so.
    void answerOverdue(const CameraLoadingRequest* id, std::int64_t read)
    {
        const auto entry = pending.find(id);
        if (entry == pending.end() || entry->second.awaited != read) {
            return;
        }
        disconnected = true;
        finishAll(cameraDisconnectedError());
    }

    void invalidate()
    {
        stopped = true;
        finishAll(error(QStringLiteral("Video playback stopped.")));
    }

    void finishAll(const PivraError& failure)
    {
        const auto ending = std::move(pending);
        pending.clear();
        for (const auto& entry : ending) {
            entry.second.request->finish(failure);
        }
    }
};

CameraVideoStream::Reader CameraVideoStream::managerReader(CameraSourceManager* manager)
{
    return [manager](const QString& path, std::int64_t offset, std::int64_t length,
                     CameraReadCompletion completion) {
        CameraSourceManager* reading = manager != nullptr ? manager : CameraSourceManager::sharedIfMade();
        if (reading == nullptr) {
            // No device was ever looked for, so none has this file.
            completion(std::nullopt, cameraFileUnavailableError());
            return;
        }
        reading->read(path, offset, length, std::move(completion));
    };
}

CameraVideoStream::CameraVideoStream(const MediaItem& item, Reader reader, std::chrono::milliseconds answerLimit)
    : state_(std::make_shared<State>(item, std::move(reader), answerLimit))
{
}

CameraVideoStream::~CameraVideoStream()
{
    invalidate();
    // Owned by the job, which may still be inside set_value() when the wait ends.
    auto drained = std::make_shared<std::promise<void>>();
    std::future<void> done = drained->get_future();
    state_->strand.post([drained] { drained->set_value(); });
    done.wait();
}

const QString& CameraVideoStream::path() const { return state_->path; }

std::int64_t CameraVideoStream::size() const { return state_->size; }

const QString& CameraVideoStream::contentType() const { return state_->contentType; }

void CameraVideoStream::load(std::shared_ptr<CameraLoadingRequest> request)
{
    state_->post([request = std::move(request)](State& state) { state.arrive(request); });
}

void CameraVideoStream::cancel(const CameraLoadingRequest* request)
{
    state_->post([request](State& state) { state.pending.erase(request); });
}

void CameraVideoStream::invalidate()
{
    state_->post([](State& state) { state.invalidate(); });
}

QString CameraVideoStream::assetName(const MediaItem& item)
{
    return QStringLiteral("pivra-stream://media/") + uuidString(QUuid::createUuid()) + QLatin1Char('.') +
           QString::fromLatin1(QUrl::toPercentEncoding(extension(item).toLower()));
}

PivraError CameraVideoStream::error(const QString& text)
{
    return {QStringLiteral("Pivra.CameraStream"), rangeErrorCode, text};
}

} // namespace pivra
