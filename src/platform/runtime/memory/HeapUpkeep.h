#pragma once

namespace pivra {

// How much freed memory glibc's allocator keeps from the system.
//
// Left to itself it keeps a great deal in a program like this one: threads of
// the pools, libvips and FFmpeg each allocate in an arena of their own (up to
// eight a core), and once a large block has been freed, glibc raises the size
// from which blocks get a mapping of their own to it (up to 32 MB) and the
// size of free memory it keeps at the top of a heap to twice that. After a
// decoded 4K frame (12 MB) or a camera photo's rows, blocks of that size are
// carved from the arenas, and whatever is freed stays in them: 600 to 800 MB
// resident after indexing a thousand photos and twenty clips, of which 25 MB
// was live.
//
// Called first thing in main, before any thread starts: an arena a thread
// (so that no worker shares the GUI thread's), and the
// two sizes pinned at glibc's starting values, so large blocks are mapped and
// unmapped on their own and a heap gives back what is free at its top beyond
// a megabyte.
void limitHeapRetention();

// Gives the free pages of every arena back to the system (malloc_trim).
// Walks each arena under its lock: call it off the GUI thread.
void trimHeap();
// trimHeap() on a utility pool thread, from any thread.
void trimHeapSoon();

} // namespace pivra
