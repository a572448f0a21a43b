#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <cstdint>
#include <optional>

namespace pivra {

// One folder, disk or connected device the user added. Identity is `id` alone:
// a source whose name, reachability or volume changed is still the same source
// for sets, maps and list diffing.
struct LibrarySource {
    enum class Kind { folder, camera };

    QUuid id;
    QString name;
    QByteArray bookmark;
    QString lastKnownPath;
    bool isOnline = false; // run-time state only, never stored
    Kind kind = Kind::folder;
    std::optional<QString> deviceID;
    std::optional<QString> volumePath;
    std::optional<QString> volumeName;
    std::optional<std::int64_t> volumeCapacity;

    bool operator==(const LibrarySource& other) const { return id == other.id; }

    // The stored form: "id", "name", "bookmark" (Base64), "lastKnownPath" and
    // "kind" always; the optional keys only when present; never `isOnline`.
    QJsonObject toJson() const;

    // Strict decoding: the four required keys must be present with the right
    // types, "kind" may be missing or null (a folder) but no other string than
    // "folder" or "camera"; the optional keys may be missing or null. Answers
    // none on any mismatch.
    static std::optional<LibrarySource> fromJson(const QJsonValue& value);

    // Whether the two store alike: every field but `isOnline` is the same.
    bool storesAs(const LibrarySource& other) const;
};

QString rawValue(LibrarySource::Kind kind);

size_t qHash(const LibrarySource& source, size_t seed = 0);

// The stored list: a JSON array of sources, read element by element, so one
// malformed element costs that element alone.
struct DecodedSources {
    QList<LibrarySource> sources; // every element that decodes, in order
    // Empty when nothing was left out; else the value as it was when it is no
    // JSON array, or a compact JSON array of the elements that did not decode.
    QByteArray unreadable;
};

QByteArray encodeSources(const QList<LibrarySource>& sources);
// Whether the two lists store alike, checked without encoding either.
bool storeAlike(const QList<LibrarySource>& a, const QList<LibrarySource>& b);
DecodedSources decodeSources(const QByteArray& json);

} // namespace pivra

template<>
struct std::hash<pivra::LibrarySource> {
    size_t operator()(const pivra::LibrarySource& source) const { return pivra::qHash(source); }
};
