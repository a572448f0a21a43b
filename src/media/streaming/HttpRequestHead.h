#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// The little of HTTP/1.1 a media player needs to read a file in ranges: the
// request line and one "Range: bytes=…" header. Everything else in the head
// is read past.
namespace pivra {

// One range as the client wrote it: "a-b" and "a-" have a first byte, the
// suffix form "-n" has only a length (the last n bytes).
struct AskedRange {
    std::optional<std::int64_t> first;
    std::optional<std::int64_t> last; // inclusive; for a suffix, its length

    bool operator==(const AskedRange&) const = default;
};

struct HttpRequestHead {
    QByteArray method;
    QString path; // percent-decoded but for "%2F", without the query
    std::optional<AskedRange> range;
};

// The bytes of a file a response carries.
struct ByteRange {
    std::int64_t start = 0;
    std::int64_t length = 0;

    bool operator==(const ByteRange&) const = default;
};

// Parses a request head (everything before the blank line). None when it is
// not a valid HTTP/1.x request, or when its Range header is anything but one
// well-formed byte range: a player never asks for several at once.
std::optional<HttpRequestHead> parseRequestHead(QByteArrayView head);

// The bytes of a file of `size` bytes the range asks for, cut at the end of
// the file; none when it cannot be satisfied (it starts at or past the end,
// or asks for the last 0 bytes).
std::optional<ByteRange> resolveByteRange(const AskedRange& asked, std::int64_t size);

} // namespace pivra
