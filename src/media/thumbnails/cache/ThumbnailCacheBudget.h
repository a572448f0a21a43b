#pragma once

#include <QString>

#include <cstdint>

namespace pivra {

// Nothing on Linux empties ~/.cache, and every 3200-pixel preview is a megabyte
// or two, so the viewer cache keeps itself within a byte budget: after a
// write, the least recently used files go first (a cache hit refreshes a
// file's time with markUsed), until the folder fits. The file just written is
// never removed, even when it alone exceeds the budget.
void trimToBudget(const QString& directory, std::int64_t budgetBytes, const QString& keep);

// Marks a cached file as just used, so the budget keeps it longest.
void markUsed(const QString& path);

} // namespace pivra
