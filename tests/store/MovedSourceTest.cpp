// Names are bytes to the kernel. A source folder moved under a parent that an
// older system named in Latin-1 is found there, as under one named in UTF-8,
// and comes back online with its photos.
#include "StoreTestKit.h"

#include "media/metadata/MetadataInspector.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/Drain.h"
#include "support/files/JpegMaker.h"
#include "support/ParamNames.h"

#include <sys/stat.h>

namespace pivra {
namespace {

struct ParentName {
    const char* name;
    const char* bytes;
};

class MovedSourceTest : public test::StoreTest, public ::testing::WithParamInterface<ParentName> {};

TEST_P(MovedSourceTest, IsFoundUnderItsNewParentAndComesBackOnlineWithItsPhotos)
{
    const QString trip = makeFolder(QStringLiteral("Trip"));
    for (int index = 0; index < 2; ++index) {
        ASSERT_TRUE(test::makeJpeg(trip + QStringLiteral("/IMG_%1.jpg").arg(index), QSize(32 + index, 24)));
    }
    storeSources(encodeSources({test::folderSourceAt(trip)}));
    const QByteArray parent = fileNameBytes(root()) + '/' + GetParam().bytes;
    ASSERT_EQ(::mkdir(parent.constData(), 0755), 0);
    ASSERT_EQ(::rename(fileNameBytes(trip).constData(), QByteArray(parent + "/Trip").constData()), 0);

    LibraryServices services;
    services.inspector = std::make_shared<MetadataInspector>();
    const std::unique_ptr<LibraryStore> store = makeStore(std::move(services));
    ASSERT_TRUE(drain());

    ASSERT_EQ(store->sources().size(), 1);
    EXPECT_TRUE(store->sources().front().isOnline);
    EXPECT_EQ(store->sources().front().lastKnownPath, fileNameText(QByteArray(parent + "/Trip")));
    EXPECT_EQ(store->items()->size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Parents, MovedSourceTest,
                         ::testing::Values(ParentName{"named in UTF-8", "Caf\xC3\xA9"},
                                           ParentName{"named in Latin-1", "Caf\xE9"}),
                         test::rowName);

} // namespace
} // namespace pivra
