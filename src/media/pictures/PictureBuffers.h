#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>

namespace pivra {

// Memory for tiles' pictures, kept when a picture is let go of and handed to
// the next one. A picture of a few hundred kilobytes is mapped on its own
// and unmapped when freed; both wait on the process's memory-map lock,
// which busy worker threads take all the time, and the fresh pages fault
// in one by one. While a grid scrolls that cost the GUI thread several
// milliseconds a frame; a kept buffer is none of that. At most 24 MB stand
// unused; what is beyond goes back.
class PictureBuffers {
public:
    // A premultiplied ARGB image of `size`, its pixels undefined. Null for
    // an empty size.
    static QImage image(QSize size);
    // Lets the memory kept for pictures to come go; pictures in use keep
    // theirs. For a grid that rests: the kept memory serves a scroll, and a
    // grid left alone needs none until the next one.
    static void releaseUnused();
    // What is kept for pictures to come, in bytes (for tests).
    static std::size_t unusedBytes();
};

} // namespace pivra
