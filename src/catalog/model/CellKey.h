#pragma once

#include <QString>

struct sqlite3;

namespace pivra {

// The key of the coordinate cell that holds a location: latitude and longitude
// each written with two decimals, joined by a comma ("41.01,28.98").
//
// There is exactly one implementation of this rounding, and both the catalog's
// SQL and the place namer use it. SQLite's own printf rounds a decimal
// approximation of the value half upward, while the C library rounds the exact
// binary value; the two disagree for thousands of real coordinates near a cell
// edge (87.095 is "87.10" to one and "87.09" to the other), so a key made on
// one side would miss the same place made on the other. The rule chosen is
// the C library's: the exact binary value correctly rounded, written by
// std::to_chars, which also ignores the process locale (printf would write
// "41,01" once the application has adopted a Turkish locale).
QString cellKey(double latitude, double longitude);

// The SQL name under which cellKey() is registered on a catalog connection,
// as `pivra_cell(latitude, longitude)`. It answers NULL when either value is
// NULL, so a row without a location never falls into a cell.
inline constexpr const char* cellKeySqlFunction = "pivra_cell";

// Registers pivra_cell() as a deterministic function on the connection.
// Answers whether SQLite accepted it.
bool registerCellKeyFunction(sqlite3* db);

} // namespace pivra
