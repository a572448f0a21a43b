#pragma once

namespace pivra {

// Sets up the media libraries once per process, before any worker reads a
// file: exiv2 with ISO-BMFF (HEIC, AVIF, CR3) turned on, its XMP toolkit behind
// a lock (the toolkit is not thread-safe) and its console messages off;
// libvips without its operation cache, so no file stays open after a header
// read, and without the loaders it counts as untrusted; FFmpeg without console
// messages. Safe to call from any thread, any number of times.
void initializeMediaLibraries();

} // namespace pivra
