// AddressSanitizer's defaults for the suites that load plugin libraries
// (libgphoto2's port plugins, Qt Multimedia's GStreamer and PulseAudio),
// read before ASAN_OPTIONS (which overrides what it names). Some of those
// plugins keep process-lifetime allocations; with the usual frame-pointer
// unwinding such a stack ends inside the plugin and names nothing the
// suppressions file could match, so allocations in these suites are unwound
// fully. Only there: a full unwind per allocation makes the allocation-heavy
// tests of other suites many times slower.
extern "C" const char* __asan_default_options();

extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
