#pragma once

// The heap a benchmark program uses: HeapPeak.cpp replaces
// malloc and its relatives in the program that links it, so the blocks of Qt,
// SQLite and every other library count too, not only those of operator new.
// A block counts with its usable size (malloc_usable_size), from the moment it
// is handed out until it is freed, within 256 KiB a thread (see HeapPeak.cpp).
// Thread-safe.

#include <cstdint>

namespace pivra::bench {

// Bytes in blocks handed out and not yet freed.
std::int64_t heapInUse();

// The most that was in use since the last resetHeapPeak().
std::int64_t heapPeak();

// Starts a new peak from what is in use now, and answers that.
std::int64_t resetHeapPeak();

} // namespace pivra::bench
