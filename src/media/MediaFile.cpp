#include "media/MediaFile.h"

#include "platform/folders/FileNameText.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace pivra {
namespace {

class MediaFileDevice final : public QIODevice {
public:
    explicit MediaFileDevice(const MediaFile& file) : file_(file) { QIODevice::open(QIODevice::ReadOnly); }

    bool isSequential() const override { return false; }
    qint64 size() const override { return file_.size(); }

protected:
    qint64 readData(char* data, qint64 length) override { return file_.read(pos(), data, length); }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const MediaFile& file_;
};

} // namespace

std::optional<MediaFile> MediaFile::open(const QString& path)
{
    const QByteArray name = fileNameBytes(path);
    struct stat seen {};
    if (::stat(name.constData(), &seen) != 0 || !S_ISREG(seen.st_mode)) {
        return std::nullopt;
    }
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    // The name may have been swapped between the look and the open: what
    // counts is what was opened.
    struct stat opened {};
    if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(descriptor);
        return std::nullopt;
    }
    return MediaFile(descriptor, std::int64_t(opened.st_size));
}

MediaFile::MediaFile(MediaFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), size_(other.size_)
{
}

MediaFile& MediaFile::operator=(MediaFile&& other) noexcept
{
    if (this != &other) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
        size_ = other.size_;
    }
    return *this;
}

MediaFile::~MediaFile()
{
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

QByteArray MediaFile::descriptorPath() const
{
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(descriptor_);
}

std::int64_t MediaFile::read(std::int64_t offset, void* buffer, std::int64_t length) const
{
    if (offset < 0 || length < 0) {
        return -1;
    }
    const std::int64_t wanted = std::min(length, std::max<std::int64_t>(size_ - offset, 0));
    std::int64_t filled = 0;
    while (filled < wanted) {
        const ssize_t got = ::pread(descriptor_, static_cast<char*>(buffer) + filled, std::size_t(wanted - filled),
                                    off_t(offset + filled));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1; // EAGAIN too: a "regular" file that would block is not one to wait for
        }
        if (got == 0) {
            break; // shorter than it was: cut while being read
        }
        filled += got;
    }
    return filled;
}

QByteArray MediaFile::read(std::int64_t offset, std::int64_t length) const
{
    QByteArray bytes(qsizetype(std::clamp<std::int64_t>(std::min(length, size_ - offset), 0, size_)),
                     Qt::Uninitialized);
    const std::int64_t got = read(offset, bytes.data(), bytes.size());
    bytes.truncate(qsizetype(std::max<std::int64_t>(got, 0)));
    return bytes;
}

std::unique_ptr<QIODevice> MediaFile::device() const
{
    return std::make_unique<MediaFileDevice>(*this);
}

} // namespace pivra
