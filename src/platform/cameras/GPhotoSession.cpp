#include "platform/cameras/GPhotoSession.h"

#include "platform/cameras/GPhotoLibrary.h"

#include <QDir>
#include <QFileInfo>

#include <gphoto2/gphoto2.h>

#include <algorithm>
#include <unistd.h>

namespace pivra {
namespace {

// Enough for the header of a photo behind its Exif block and previews, and
// of a video that keeps its index first.
constexpr std::int64_t headerBytes = 512 * 1024;
constexpr std::size_t copiesKept = 2;

QString childPath(const QString& folder, const char* name)
{
    return (folder.endsWith(u'/') ? folder : folder + u'/') + QString::fromUtf8(name);
}

std::unique_ptr<QTemporaryFile> newTemporaryFile(const CameraFileInfo& file)
{
    const QString suffix = QFileInfo(file.name).suffix();
    auto copy = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/pivra-camera-XXXXXX") +
                                                 (suffix.isEmpty() ? QString() : u'.' + suffix));
    return copy->open() ? std::move(copy) : nullptr;
}

CameraFileInfo fileInfo(const QString& folder, const char* name, const ::CameraFileInfo& info)
{
    CameraFileInfo file;
    file.folder = folder;
    file.name = QString::fromUtf8(name);
    const ::CameraFileInfoFile& fields = info.file;
    if (fields.fields & GP_FILE_INFO_TYPE) {
        file.mimeType = QString::fromUtf8(fields.type);
    }
    if (fields.fields & GP_FILE_INFO_SIZE) {
        file.size = std::int64_t(fields.size);
    }
    if (fields.fields & GP_FILE_INFO_MTIME && fields.mtime > 0) {
        file.modificationDate = double(fields.mtime);
    }
    if (fields.fields & GP_FILE_INFO_WIDTH && fields.fields & GP_FILE_INFO_HEIGHT) {
        file.width = int(fields.width);
        file.height = int(fields.height);
    }
    return file;
}

} // namespace

GPhotoSession::GPhotoSession(QString model, QString port, GPhotoFileHelpers helpers)
    : model_(std::move(model)), port_(std::move(port)), helpers_(std::move(helpers)), context_(gp_context_new())
{
}

GPhotoSession::~GPhotoSession()
{
    copies_.clear();
    gphoto::closeCamera(camera_, context_);
    gp_context_unref(context_);
}

std::optional<PivraError> GPhotoSession::open()
{
    if (camera_ != nullptr) {
        return std::nullopt;
    }
    int result = GP_OK;
    camera_ = gphoto::openCamera(model_, port_, context_, result);
    return camera_ != nullptr ? std::nullopt : std::optional(gphoto::error(result));
}

int GPhotoSession::storageCount()
{
    if (!port_.startsWith(QStringLiteral("usb:"))) {
        return 1;
    }
    CameraStorageInformation* storages = nullptr;
    int count = 0;
    if (gp_camera_get_storageinfo(camera_, &storages, &count, context_) < GP_OK) {
        return 0;
    }
    free(storages);
    return count;
}

void GPhotoSession::startWalk()
{
    walk_ = {};
    foldersToList_ = {QStringLiteral("/")};
    foldersListed_ = 0;
    nextHeader_ = 0;
}

bool GPhotoSession::walkStep()
{
    if (walk_.percentComplete >= 100) {
        return true;
    }
    if (!foldersToList_.empty()) {
        const QString folder = foldersToList_.front();
        foldersToList_.pop_front();
        if (!listFolder(folder)) {
            walk_.failed = true; // what was listed is not the whole device
            walk_.percentComplete = 100;
            return true;
        }
        ++foldersListed_;
        walk_.percentComplete = int(99 * foldersListed_ / (foldersListed_ + foldersToList_.size()));
        return false;
    }
    const auto sizeless = std::find_if(walk_.files.begin() + std::ptrdiff_t(nextHeader_), walk_.files.end(),
                                       [](const CameraFileInfo& file) { return file.width <= 0; });
    if (sizeless != walk_.files.end()) {
        readPixelSize(*sizeless);
        nextHeader_ = std::size_t(sizeless - walk_.files.begin()) + 1;
        return false;
    }
    walk_.storageCount = storageCount();
    walk_.percentComplete = 100;
    return true;
}

bool GPhotoSession::listFolder(const QString& folder)
{
    CameraList* list = nullptr;
    gp_list_new(&list);
    const QByteArray path = folder.toUtf8();
    const char* name = nullptr;
    bool listed = gp_camera_folder_list_folders(camera_, path.constData(), list, context_) >= GP_OK;
    for (int i = 0; listed && i < gp_list_count(list); ++i) {
        gp_list_get_name(list, i, &name);
        foldersToList_.push_back(childPath(folder, name));
    }
    gp_list_reset(list);
    listed = listed && gp_camera_folder_list_files(camera_, path.constData(), list, context_) >= GP_OK;
    for (int i = 0; listed && i < gp_list_count(list); ++i) {
        gp_list_get_name(list, i, &name);
        ::CameraFileInfo info{};
        listed = gp_camera_file_get_info(camera_, path.constData(), name, &info, context_) >= GP_OK;
        walk_.files.push_back(fileInfo(folder, name, info));
    }
    gp_list_free(list);
    return listed;
}

void GPhotoSession::readPixelSize(CameraFileInfo& file)
{
    int result = GP_OK;
    const std::unique_ptr<QTemporaryFile> head = fetch(file, headerBytes, result);
    if (head == nullptr || !helpers_.pixelSize) {
        return; // no size is no reason to leave the file out
    }
    if (const std::optional<QSize> size = helpers_.pixelSize(head->fileName(), file)) {
        file.width = size->width();
        file.height = size->height();
    }
}

GPhotoSession::ReadResult GPhotoSession::read(const CameraFileInfo& file, std::int64_t offset, std::int64_t length)
{
    const std::optional<std::int64_t> size = file.knownSize();
    if (size) {
        length = std::min(length, *size - offset);
    }
    if (length <= 0 || offset < 0) {
        return {QByteArray(), std::nullopt};
    }
    if (rangedReads_) {
        QByteArray data;
        const int result = readRange(file, offset, length, data);
        if (result >= GP_OK) {
            return {data, std::nullopt};
        }
        if (rangedReads_) {
            return {std::nullopt, gphoto::error(result)};
        }
    }
    int result = GP_OK;
    QTemporaryFile* copy = wholeCopy(file, result);
    if (copy == nullptr) {
        return {std::nullopt, gphoto::error(result)};
    }
    copy->seek(offset);
    return {copy->read(length), std::nullopt};
}

std::optional<QByteArray> GPhotoSession::thumbnail(const CameraFileInfo& file, int maxPixels)
{
    CameraFile* preview = nullptr;
    gp_file_new(&preview);
    const char* data = nullptr;
    unsigned long size = 0;
    std::optional<QByteArray> answer;
    if (gp_camera_file_get(camera_, file.folder.toUtf8().constData(), file.name.toUtf8().constData(),
                           GP_FILE_TYPE_PREVIEW, preview, context_) >= GP_OK &&
        gp_file_get_data_and_size(preview, &data, &size) >= GP_OK && size > 0) {
        answer = QByteArray(data, qsizetype(size));
    }
    gp_file_free(preview);
    if (answer || !helpers_.thumbnail) {
        return answer;
    }
    // The device has none: draw one from the file itself.
    int result = GP_OK;
    const std::unique_ptr<QTemporaryFile> whole = fetch(file, std::nullopt, result);
    return whole != nullptr ? helpers_.thumbnail(whole->fileName(), file, maxPixels) : std::nullopt;
}

GPhotoSession::Event GPhotoSession::pollEvent()
{
    CameraEventType type = GP_EVENT_UNKNOWN;
    void* data = nullptr;
    const int result = gp_camera_wait_for_event(camera_, 10, &type, &data, context_);
    free(data);
    if (result == GP_ERROR_NOT_SUPPORTED) {
        return Event::unsupported;
    }
    const bool changed = type == GP_EVENT_FILE_ADDED || type == GP_EVENT_FOLDER_ADDED || type == GP_EVENT_FILE_CHANGED;
    return result >= GP_OK && changed ? Event::contentChanged : Event::none;
}

int GPhotoSession::readRange(const CameraFileInfo& file, std::int64_t offset, std::int64_t length, QByteArray& data)
{
    data.resize(length);
    std::uint64_t got = std::uint64_t(length);
    const int result = gp_camera_file_read(camera_, file.folder.toUtf8().constData(), file.name.toUtf8().constData(),
                                           GP_FILE_TYPE_NORMAL, std::uint64_t(offset), data.data(), &got, context_);
    if (result == GP_ERROR_NOT_SUPPORTED) {
        rangedReads_ = false;
    }
    data.truncate(result >= GP_OK ? qsizetype(std::min(got, std::uint64_t(length))) : 0);
    return result;
}

QTemporaryFile* GPhotoSession::wholeCopy(const CameraFileInfo& file, int& result)
{
    const QString key = file.folder + u'/' + file.name;
    const auto kept = std::find_if(copies_.begin(), copies_.end(), [&key](const auto& copy) { return copy.key == key; });
    if (kept != copies_.end()) {
        return kept->file.get();
    }
    std::unique_ptr<QTemporaryFile> fetched = fetch(file, std::nullopt, result);
    if (fetched == nullptr) {
        return nullptr;
    }
    if (copies_.size() >= copiesKept) {
        copies_.pop_front();
    }
    copies_.push_back({key, std::move(fetched)});
    return copies_.back().file.get();
}

// Up to `limit` bytes from the start by ranged reads where the driver has
// them, else the whole file.
std::unique_ptr<QTemporaryFile> GPhotoSession::fetch(const CameraFileInfo& file, std::optional<std::int64_t> limit,
                                                     int& result)
{
    std::unique_ptr<QTemporaryFile> copy = newTemporaryFile(file);
    if (copy == nullptr) {
        result = GP_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (limit && rangedReads_) {
        QByteArray head;
        result = readRange(file, 0, *limit, head);
        if (result >= GP_OK) {
            const bool written = copy->write(head) == head.size() && copy->flush();
            result = written ? result : GP_ERROR_IO_WRITE;
            return written ? std::move(copy) : nullptr;
        }
        if (rangedReads_) {
            return nullptr;
        }
    }
    CameraFile* target = nullptr;
    const int descriptor = dup(int(copy->handle()));
    if (descriptor < 0 || (result = gp_file_new_from_fd(&target, descriptor)) < GP_OK) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        result = GP_ERROR_IO;
        return nullptr;
    }
    result = gp_camera_file_get(camera_, file.folder.toUtf8().constData(), file.name.toUtf8().constData(),
                                GP_FILE_TYPE_NORMAL, target, context_);
    gp_file_free(target); // closes the duplicate descriptor
    if (result < GP_OK) {
        return nullptr;
    }
    copy->seek(0); // the descriptor's writes moved the shared offset
    return copy;
}

} // namespace pivra
