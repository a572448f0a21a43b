#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace pivra {

// A photo or video opened for reading, the one way every reader of media
// opens a file.
//
// A walk lists a folder long before its files are read, and by then a name
// may have become anything: a FIFO, on which a plain open() waits for a
// writer for ever, or a link to /dev/zero, which never ends. So the file is
// opened without blocking, the opened descriptor itself is checked to be a
// regular file (not the name, which may change again), and every read is
// bounded by the size seen then. A name that is not a regular file before
// the open is not opened at all: opening some devices does something.
//
// Libraries that insist on a file name get descriptorPath(), which names the
// file already opened and checked, whatever the name on disk has become.
// Movable, not copyable; closes the descriptor when destroyed.
class MediaFile {
public:
    // Nothing when the path cannot be opened or is not a regular file.
    static std::optional<MediaFile> open(const QString& path);

    MediaFile(MediaFile&& other) noexcept;
    MediaFile& operator=(MediaFile&& other) noexcept;
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    int descriptor() const { return descriptor_; }
    // The size when the file was opened; no read goes past it.
    std::int64_t size() const { return size_; }
    // "/proc/self/fd/<descriptor>": the opened file, for as long as this lives.
    QByteArray descriptorPath() const;

    // Up to `length` bytes from `offset`, as many as the file gives up to
    // size(): the count read (0 at the end), or -1 on a read error.
    std::int64_t read(std::int64_t offset, void* buffer, std::int64_t length) const;
    // Up to `length` bytes from `offset`; shorter at the end or on an error.
    QByteArray read(std::int64_t offset, std::int64_t length) const;

    // The file as a read-only random-access device of size(), for Qt's
    // readers. It reads through this file, which must outlive it.
    std::unique_ptr<QIODevice> device() const;

private:
    MediaFile(int descriptor, std::int64_t size) : descriptor_(descriptor), size_(size) {}

    int descriptor_ = -1;
    std::int64_t size_ = 0;
};

} // namespace pivra
