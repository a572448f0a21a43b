#include "media/metadata/Iso6709.h"

#include <charconv>
#include <string>
#include <vector>

namespace pivra {
namespace {

// The whole buffer must be one decimal number: from_chars takes no leading
// white space and we refuse trailing characters. A leading "+" is ours to
// skip, since from_chars accepts only "-"; a buffer never holds two signs.
std::optional<double> parseNumber(const std::string& buffer)
{
    const char* begin = buffer.data();
    const char* end = begin + buffer.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    if (begin == end) {
        return std::nullopt;
    }
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<GeoLocation> iso6709(QStringView text)
{
    std::string buffer;
    std::vector<double> numbers;
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        if (unit != u'+' && unit != u'-' && unit != u'/') {
            // Non-ASCII characters can never be part of a number; keeping a
            // marker makes the buffer fail to parse as the platform's would.
            buffer.push_back(unit < 0x80 ? char(unit) : '?');
            continue;
        }
        if (const auto number = parseNumber(buffer)) {
            numbers.push_back(*number);
        }
        if (unit == u'/' || numbers.size() == 2) {
            break;
        }
        buffer.assign(1, char(unit));
    }
    if (numbers.size() < 2) {
        return std::nullopt;
    }
    return validLocation(numbers[0], numbers[1]);
}

} // namespace pivra
