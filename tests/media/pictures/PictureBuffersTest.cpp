#include "media/pictures/PictureBuffers.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

// A picture let go of leaves its memory to the next one of a nearby size;
// one in use, or one far too large, is not handed out.
TEST(PictureBuffersTest, ThePixelsOfAPictureLetGoOfServeTheNext)
{
    const uchar* first = nullptr;
    {
        QImage picture = PictureBuffers::image({300, 225});
        ASSERT_EQ(picture.format(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::red);
        first = picture.constBits();
    }
    QImage next = PictureBuffers::image({290, 225});
    EXPECT_EQ(next.constBits(), first);
    EXPECT_EQ(next.size(), QSize(290, 225));
    EXPECT_EQ(next.bytesPerLine(), 290 * 4);
    const QImage another = PictureBuffers::image({300, 225});
    EXPECT_NE(another.constBits(), first) << "the first is in use";
    next = QImage();
    EXPECT_NE(PictureBuffers::image({50, 40}).constBits(), first) << "far larger than needed";
    EXPECT_TRUE(PictureBuffers::image({0, 10}).isNull());
}

// Released, the kept memory is gone; a picture in use keeps its pixels and
// is kept again once let go of.
TEST(PictureBuffersTest, ReleasingLetsTheKeptMemoryGoButNotAPictureInUse)
{
    QImage used = PictureBuffers::image({300, 225});
    used.fill(Qt::blue);
    PictureBuffers::image({400, 300}); // let go of at once: kept
    ASSERT_GT(PictureBuffers::unusedBytes(), 0u);
    PictureBuffers::releaseUnused();
    EXPECT_EQ(PictureBuffers::unusedBytes(), 0u);
    EXPECT_EQ(used.pixel(299, 224), QColor(Qt::blue).rgb());
    used = QImage();
    EXPECT_GE(PictureBuffers::unusedBytes(), 300u * 225 * 4);
}

} // namespace
} // namespace pivra
