#pragma once

#include <QImage>
#include <QSize>

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
};

} // namespace pivra
