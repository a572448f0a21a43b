#include "catalog/model/CellKey.h"

#include <sqlite3.h>

#include <array>
#include <charconv>

namespace pivra {

namespace {

// "-180.00,-90.00" is the longest key of a valid location; a larger value
// still fits: to_chars of a double in fixed form needs at most 309 digits.
constexpr std::size_t keyCapacity = 2 * 330;

std::size_t writeKey(double latitude, double longitude, std::array<char, keyCapacity>& buffer)
{
    char* const end = buffer.data() + buffer.size();
    auto [afterLatitude, latitudeError] = std::to_chars(buffer.data(), end, latitude, std::chars_format::fixed, 2);
    *afterLatitude++ = ',';
    auto [afterLongitude, longitudeError] = std::to_chars(afterLatitude, end, longitude, std::chars_format::fixed, 2);
    static_cast<void>(latitudeError);
    static_cast<void>(longitudeError);
    return static_cast<std::size_t>(afterLongitude - buffer.data());
}

void cellKeySql(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    std::array<char, keyCapacity> buffer{};
    const std::size_t length =
        writeKey(sqlite3_value_double(arguments[0]), sqlite3_value_double(arguments[1]), buffer);
    sqlite3_result_text(context, buffer.data(), static_cast<int>(length), SQLITE_TRANSIENT);
}

} // namespace

QString cellKey(double latitude, double longitude)
{
    std::array<char, keyCapacity> buffer{};
    const std::size_t length = writeKey(latitude, longitude, buffer);
    return QString::fromLatin1(buffer.data(), static_cast<qsizetype>(length));
}

bool registerCellKeyFunction(sqlite3* db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    return sqlite3_create_function_v2(db, cellKeySqlFunction, 2, flags, nullptr, cellKeySql, nullptr, nullptr,
                                      nullptr) == SQLITE_OK;
}

} // namespace pivra
