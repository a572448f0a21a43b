#include "media/MediaLibraries.h"

#include <exiv2/exiv2.hpp>
#include <vips/vips.h>

extern "C" {
#include <libavutil/log.h>
}

#include <mutex>

namespace pivra {
namespace {

// The lock of exiv2's XMP toolkit: one for the whole process, so whatever
// hands exiv2 an XMP packet waits for every other reader doing the same.
std::mutex& xmpToolkitLock()
{
    static std::mutex lock;
    return lock;
}

void lockXmpToolkit(void*, bool lock)
{
    if (lock) {
        xmpToolkitLock().lock();
    } else {
        xmpToolkitLock().unlock();
    }
}

} // namespace

void initializeMediaLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(lockXmpToolkit, nullptr);
        Exiv2::enableBMFF(true);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        vips_init("pivra");
        vips_cache_set_max(0);
        // libvips does not vouch for some loaders (ImageMagick, PDF, SVG and
        // more) with files from anywhere, and a folder holds anything under
        // any name.
        vips_block_untrusted_set(TRUE);
        av_log_set_level(AV_LOG_QUIET);
    });
}

} // namespace pivra
