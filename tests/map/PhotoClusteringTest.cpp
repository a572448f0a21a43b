#include "map/photos/PhotoClustering.h"

#include <gtest/gtest.h>

namespace pivra {
namespace {

// A 1000-point view with cells of 100, over photos listed newest first.
class PhotoClusteringTest : public ::testing::Test {
protected:
    void add(MapPoint point, double date)
    {
        points_.push_back(point);
        dates_.push_back(date);
    }
    std::vector<ClusterDraft> cluster(MapRect visible = {0, 0, 1000, 1000}) const
    {
        return clusterPhotos(points_, dates_, visible, 100);
    }

    std::vector<MapPoint> points_;
    std::vector<double> dates_;
};

TEST_F(PhotoClusteringTest, CellsTakeTheirNewestAndNeighboursMergeIntoTheNewerPin)
{
    add({150, 150}, 100);  // 0: cell (1,1)
    add({110, 120}, 90);   // 1: the same cell
    add({205, 150}, 80);   // 2: the next cell, 55 from photo 0: joins its pin across the border
    add({600, 600}, 70);   // 3: alone
    add({1500, 500}, 60);  // 4: beyond the area grown by a fifth: left out
    add({1150, 500}, 50);  // 5: in the grown area
    add({320, 600}, 75);   // 6: cell (3,6)
    add({390, 650}, 95);   // 7: cell (3,6) too, but listed later, so 6 represents the cell
    add({460, 600}, 65);   // 8: 140 from 6: a pin of its own

    const std::vector<ClusterDraft> pins = cluster();
    ASSERT_EQ(pins.size(), 5u);
    EXPECT_EQ(pins[0], (ClusterDraft{0, {150, 150}, {0, 1, 2}, MapRect{110, 120, 95, 30}}));
    EXPECT_EQ(pins[1].photo, 6);
    EXPECT_EQ(pins[1].members, (std::vector<int>{6, 7}));
    EXPECT_EQ(pins[2].photo, 3);
    EXPECT_EQ(pins[3].photo, 8);
    EXPECT_EQ(pins[4].photo, 5);
}

TEST_F(PhotoClusteringTest, ZoomingInSplitsAPinAndTheNewestKeepsRepresentingIt)
{
    add({150, 150}, 100);
    add({195, 150}, 90);
    ASSERT_EQ(cluster().size(), 1u);
    const std::vector<ClusterDraft> closer = clusterPhotos(points_, dates_, {100, 100, 200, 200}, 20);
    ASSERT_EQ(closer.size(), 2u);
    EXPECT_EQ(closer[0].photo, 0);
    EXPECT_EQ(closer[1].photo, 1);
}

TEST_F(PhotoClusteringTest, PhotosAcrossTheAntimeridianCountInTheCopyInView)
{
    add({100, 500}, 10);                     // just east of the antimeridian
    add({mapWorldSize - 100, 500}, 5);       // just west of it
    add({mapWorldSize / 2, 500}, 1);         // far away
    const std::vector<ClusterDraft> pins = cluster({mapWorldSize - 500, 0, 1000, 1000});
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_EQ(pins[0].point, (MapPoint{mapWorldSize + 100, 500}));
    EXPECT_EQ(pins[1].point, (MapPoint{mapWorldSize - 100, 500}));
}

TEST_F(PhotoClusteringTest, AViewWithoutWidthOrHeightClustersNothing)
{
    add({0, 0}, 1);
    EXPECT_TRUE(cluster({0, 0, 0, 1000}).empty());
    EXPECT_TRUE(cluster({0, 0, 1000, 0}).empty());
    EXPECT_TRUE(cluster(MapRect{}).empty());
}

} // namespace
} // namespace pivra
