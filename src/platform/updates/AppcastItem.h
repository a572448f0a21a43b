#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>
#include <vector>

namespace pivra {

// One release as the update feed lists it.
struct AppcastItem {
    QString version;        // the machine version compared against the build's
    QString displayVersion; // what people read; the machine version when absent
    QString description;    // HTML release notes, may be empty
    std::optional<QDateTime> date;
    QUrl link;              // the release's web page
    QUrl url;               // the archive
    std::uint64_t contentLength = 0;
    QString edSignature;    // Base64 Ed25519 signature over the whole archive
    QString os;             // empty or "linux" applies here
    bool informationOnly = false; // nothing to download: the link tells more

    bool operator==(const AppcastItem&) const = default;
};

// Reads an RSS 2.0 feed. Item fields are matched by their local names, so the
// namespace prefix the feed uses does not matter. Throws std::runtime_error
// when the text is not a well-formed feed.
std::vector<AppcastItem> parseAppcast(const QByteArray& xml);

// The newest item that applies to this system and is newer than `installed`,
// or none.
std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, const QString& installed);

// Orders two version strings piece by piece: runs of digits compare as
// numbers, runs of letters as text, and a letter run marks a pre-release, so
// "1.10" > "1.9", "2.0" > "2.0b1", "2.0.1" > "2.0", "1.0.0" = "1.0". Negative,
// zero or positive.
int compareVersions(const QString& a, const QString& b);

} // namespace pivra
