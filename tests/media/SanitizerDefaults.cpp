// AddressSanitizer's defaults for the media suite, read before ASAN_OPTIONS
// (which overrides what it names). This suite opens libgphoto2, one of whose
// port plugins keeps a small allocation after the library unloads it; with
// the usual frame-pointer unwinding its stack ends in the unloaded plugin and
// names nothing the suppressions file could match, so allocations here are
// unwound fully. Only here: a full unwind per allocation makes the
// allocation-heavy tests of other suites many times slower.
extern "C" const char* __asan_default_options();

extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
