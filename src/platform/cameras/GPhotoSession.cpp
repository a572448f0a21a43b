#include "platform/cameras/GPhotoSession.h"

#include "platform/cameras/CameraTemporaries.h"
#include "platform/cameras/GPhotoLibrary.h"


#include <gphoto2/gphoto2.h>

#include <algorithm>
#include <unistd.h>

namespace pivra {
namespace {

constexpr std::size_t copiesKept = 2;

QString fileKey(const CameraFileInfo& file) { return CameraDescriptions::key(file); }

QString childPath(const QString& folder, const char* name)
{
    return (folder.endsWith(u'/') ? folder : folder + u'/') + QString::fromUtf8(name);
}

std::unique_ptr<QTemporaryFile> newTemporaryFile(const CameraFileInfo& file)
{
    const QString fileTemplate = CameraTemporaries::fileTemplate(file.name);
    if (fileTemplate.isEmpty()) {
        return nullptr;
    }
    auto copy = std::make_unique<QTemporaryFile>(fileTemplate);
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
        // A device's file time is when the camera wrote the file: its
        // creation as much as its last change.
        file.creationDate = double(fields.mtime);
        file.modificationDate = file.creationDate;
    }
    if (fields.fields & GP_FILE_INFO_WIDTH && fields.fields & GP_FILE_INFO_HEIGHT) {
        file.width = int(fields.width);
        file.height = int(fields.height);
    }
    return file;
}

} // namespace

GPhotoSession::GPhotoSession(QString model, QString port, GPhotoFileHelpers helpers, QString descriptionFile,
                             GPhotoRangedRead rangedReadForTesting)
    : model_(std::move(model)), port_(std::move(port)), helpers_(std::move(helpers)),
      rangedReadForTesting_(std::move(rangedReadForTesting)), context_(gp_context_new()),
      descriptions_(std::move(descriptionFile))
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
    // libgphoto2 keeps the folders and files it listed and answers from them
    // until an event of the device says otherwise; a device that sends no
    // events is asked afresh.
    gp_filesystem_reset(camera_->fs);
    walk_ = {};
    foldersToList_ = {QStringLiteral("/")};
    foldersListed_ = 0;
    undescribed_.clear();
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
    QSet<QString> listed;
    for (const CameraFileInfo& file : walk_.files) {
        listed.insert(fileKey(file));
    }
    descriptions_.keepOnly(listed); // files gone from the device are forgotten
    // The smallest first: most files are photos, whose header is most of
    // them, and many of them show sooner than one large video.
    std::stable_sort(undescribed_.begin(), undescribed_.end(), [this](std::size_t a, std::size_t b) {
        return walk_.files[a].knownSize().value_or(INT64_MAX) < walk_.files[b].knownSize().value_or(INT64_MAX);
    });
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
        CameraFileInfo file = fileInfo(folder, name, info);
        if (!descriptions_.complete(file)) {
            undescribed_.push_back(walk_.files.size());
        }
        walk_.files.push_back(file);
    }
    gp_list_free(list);
    return listed;
}

std::optional<GPhotoSession::Described> GPhotoSession::describeNext()
{
    if (undescribed_.empty()) {
        descriptions_.save();
        return std::nullopt;
    }
    const std::size_t index = undescribed_.front();
    undescribed_.pop_front();
    CameraFileInfo file = walk_.files[index];
    const IsoByteReader readAt = [this, &file](std::int64_t offset, std::int64_t length) {
        ReadResult result = read(file, offset, length);
        return result.error ? std::nullopt : std::move(result.data);
    };
    if (helpers_.describe && helpers_.describe(file, readAt)) {
        descriptions_.keep(file); // a file the device would not give is tried again by the next walk
    }
    walk_.files[index] = file;
    return Described{index, file};
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

std::optional<QByteArray> GPhotoSession::thumbnail(const CameraFileInfo& file)
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
    // Unreferenced, not freed: libgphoto2 keeps the preview in its cache of
    // the device's files, and a freed one there is handed out again.
    gp_file_unref(preview);
    return answer;
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
    if (rangedReadForTesting_) {
        const std::optional<QByteArray> read = rangedReadForTesting_(file, offset, length);
        data = read.value_or(QByteArray());
        return read ? GP_OK : GP_ERROR_IO_READ;
    }
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
    const QString key = fileKey(file);
    const auto kept = std::find_if(copies_.begin(), copies_.end(), [&key](const auto& copy) { return copy.key == key; });
    if (kept != copies_.end()) {
        return kept->file.get();
    }
    std::unique_ptr<QTemporaryFile> fetched = fetch(file, result);
    if (fetched == nullptr) {
        return nullptr;
    }
    if (copies_.size() >= copiesKept) {
        copies_.pop_front();
    }
    copies_.push_back({key, std::move(fetched)});
    return copies_.back().file.get();
}

// The whole file, fetched at once.
std::unique_ptr<QTemporaryFile> GPhotoSession::fetch(const CameraFileInfo& file, int& result)
{
    std::unique_ptr<QTemporaryFile> copy = newTemporaryFile(file);
    if (copy == nullptr) {
        result = GP_ERROR_FILE_NOT_FOUND;
        return nullptr;
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
