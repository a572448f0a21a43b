#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>

namespace pivra {

// The content of a library shortcut file: the source it reopens, as one JSON
// object {"version":1,"libraryID":"<UUID>"}.
struct LibraryShortcut {
    // The only version written, and the only one the router acts on.
    static constexpr qint64 currentVersion = 1;
    // Files' extension, compared without regard to case when reading.
    static const QString extension;
    // A file of this many bytes or more is no shortcut and is not read.
    static constexpr qsizetype sizeLimit = 4096;

    qint64 version = currentVersion;
    QUuid libraryID;

    bool operator==(const LibraryShortcut&) const = default;

    // Compact JSON, "version" first, the id in upper case.
    QByteArray encode() const;
    // Any member order and white space, any version; other members are
    // ignored. None unless the value is an object whose "version" is an
    // integer and whose "libraryID" is UUID text (either case).
    static std::optional<LibraryShortcut> decode(const QByteArray& json);
};

// Writes the file atomically; false when it could not be written.
bool writeLibraryShortcut(const QString& path, const LibraryShortcut& shortcut);

// The record in the file at `path`, read without ever blocking or reading
// more than the size limit: none unless it is a regular file (links are
// followed) smaller than the limit that holds a record.
std::optional<LibraryShortcut> readLibraryShortcut(const QString& path);

} // namespace pivra
