#pragma once

#include "catalog/model/MediaItem.h"
#include "catalog/model/Timestamp.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <optional>

namespace pivra {

// The identity of a photo's or video's content: SHA-256 over "pivra-v2:",
// the kind word, ":", the catalog's file size, ":" and then the whole file of
// a photo, or three samples of at most 64 KiB of a video, each preceded by its
// offset and ":". Two files of the same kind, size and content share one key,
// and with it one thumbnail and one preview clip.
//
// Reads the file, so it belongs on a worker thread. None when the file cannot
// be opened, sought or read.
std::optional<QString> contentKey(const MediaItem& item);

// Exactly 64 characters, each 0-9 or a-f. Upper-case hexadecimal is not a key.
bool isValidKey(QStringView text);

// A keyed store spreads its files over folders named by the first two
// characters of their name, so no folder grows to hundreds of thousands of
// entries: <directory>/<first two>/<name><suffix>.
QString fannedOutFile(const QString& directory, const QString& name, QLatin1StringView suffix);

// 64 lowercase hexadecimal characters of the SHA-256 of the text's UTF-8 bytes.
QString digestText(const QString& text);

// Seconds since 1970 in the shortest form that reads back as the same double,
// always with a fractional part ("1700000000.0", "1700000000.25"). Cache file
// names built from it must match across runs bit for bit.
QString timeText(Timestamp time);

} // namespace pivra
