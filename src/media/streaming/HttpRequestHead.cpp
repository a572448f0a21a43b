#include "media/streaming/HttpRequestHead.h"

#include <QList>
#include <QUrl>

#include <algorithm>
#include <charconv>

namespace pivra {
namespace {

// Digits only: no sign, no blanks, nothing that overflows.
std::optional<std::int64_t> parseCount(QByteArrayView text)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    if (text.isEmpty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<AskedRange> parseRange(QByteArrayView value)
{
    const QByteArrayView unit("bytes=");
    if (!value.startsWith(unit)) {
        return std::nullopt;
    }
    const QByteArrayView bounds = value.sliced(unit.size()).trimmed();
    const qsizetype dash = bounds.indexOf('-');
    if (dash < 0) {
        return std::nullopt;
    }
    const QByteArrayView firstText = bounds.first(dash);
    const QByteArrayView lastText = bounds.sliced(dash + 1);
    AskedRange range;
    if (!firstText.isEmpty()) {
        range.first = parseCount(firstText);
        if (!range.first) {
            return std::nullopt;
        }
    }
    if (!lastText.isEmpty()) {
        range.last = parseCount(lastText);
        if (!range.last) {
            return std::nullopt;
        }
    }
    const bool valid = range.first ? (!range.last || *range.last >= *range.first) : range.last.has_value();
    return valid ? std::optional(range) : std::nullopt;
}

} // namespace

std::optional<HttpRequestHead> parseRequestHead(QByteArrayView head)
{
    const QList<QByteArray> lines = head.toByteArray().split('\n');
    const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine[0].isEmpty() || !requestLine[1].startsWith('/')
        || !requestLine[2].startsWith("HTTP/1.")) {
        return std::nullopt;
    }
    HttpRequestHead request;
    request.method = requestLine[0];
    const qsizetype query = requestLine[1].indexOf('?');
    // An encoded slash stays as it was written: it never splits the path
    // into the token and the name of a registered stream.
    QByteArray target = query < 0 ? requestLine[1] : requestLine[1].first(query);
    target.replace("%2F", "%252F").replace("%2f", "%252f");
    request.path = QUrl::fromPercentEncoding(target);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            return std::nullopt;
        }
        if (line.first(colon).trimmed().compare("range", Qt::CaseInsensitive) != 0) {
            continue;
        }
        request.range = parseRange(line.sliced(colon + 1).trimmed());
        if (!request.range) {
            return std::nullopt;
        }
    }
    return request;
}

std::optional<ByteRange> resolveByteRange(const AskedRange& asked, std::int64_t size)
{
    if (!asked.first) {
        const std::int64_t length = std::min(*asked.last, size);
        return length > 0 ? std::optional(ByteRange{size - length, length}) : std::nullopt;
    }
    if (*asked.first >= size) {
        return std::nullopt;
    }
    const std::int64_t last = std::min(asked.last.value_or(size - 1), size - 1);
    return ByteRange{*asked.first, last - *asked.first + 1};
}

} // namespace pivra
