// The simulator's world: file format, ray-cast and clearance.
#include <gtest/gtest.h>

#include <cmath>

#include "world/World.h"
#include "test_support.h"

using robotsim::World;

TEST(World, ParsesRoomsBoxesWallsAndStart)
{
    World w;
    std::string error;
    ASSERT_TRUE(World::parse("# a small room\n"
                             "room 0 0 4000 3000\n"
                             "\n"
                             "box 1000 1000 1500 1400   # a crate\n"
                             "wall 2000 0 2000 1000\n"
                             "start 500 500 90\n",
                             "test", w, error))
        << error;
    ASSERT_EQ(w.shapes().size(), 3u);
    EXPECT_EQ(w.shapes()[0].kind, "room");
    EXPECT_EQ(w.shapes()[0].segments.size(), 4u);
    EXPECT_EQ(w.shapes()[1].kind, "box");
    EXPECT_EQ(w.shapes()[2].segments.size(), 1u);
    EXPECT_TRUE(w.start().given);
    EXPECT_DOUBLE_EQ(w.start().th, 90);
}

TEST(World, RejectsBadLinesWithTheirNumber)
{
    World w;
    std::string error;
    EXPECT_FALSE(World::parse("room 0 0 10 10\nbox 1 2 3\n", "f.world", w, error));
    EXPECT_EQ(error, "f.world:2: 'box' needs 4 numbers");
    EXPECT_FALSE(World::parse("room 0 0 10 10 11\n", "f.world", w, error));
    EXPECT_EQ(error, "f.world:1: unexpected '11'");
    EXPECT_FALSE(World::parse("\n\ntable 1 2 3 4\n", "f.world", w, error));
    EXPECT_EQ(error, "f.world:3: unknown keyword 'table'");
    EXPECT_FALSE(World::parse("wall 0 0 nan 1\n", "f.world", w, error));
}

TEST(World, LoadsAFileAndReportsAMissingOne)
{
    kxtest::ScratchDir dir;
    ASSERT_TRUE(kxtest::writeFile(dir.file("room.world"), "room -1000 -1000 1000 1000\n"));
    World w;
    std::string error;
    ASSERT_TRUE(World::load(dir.file("room.world"), w, error)) << error;
    EXPECT_NEAR(w.rayCast({0, 0}, 0, 5000), 1000, 1e-9);
    EXPECT_FALSE(World::load(dir.file("none.world"), w, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(World, RayCastFindsTheFirstSegmentAlongTheRay)
{
    World w;
    w.addRoom({0, 0}, {8000, 6000});
    w.addBox({3000, 2500}, {3500, 3500});
    // Straight at the box's near side.
    EXPECT_NEAR(w.rayCast({1000, 3000}, 0, 5000), 2000, 1e-9);
    // Obliquely at the wall: (1500 - 166) / cos 10 deg, as a p3dx front sonar sees it.
    World wall;
    wall.addWall({1500, -3000}, {1500, 3000});
    EXPECT_NEAR(wall.rayCast({166, 27}, 10, 5000), 1334 / std::cos(10 * M_PI / 180), 0.5);
    // Nothing within range: the range itself.
    EXPECT_DOUBLE_EQ(w.rayCast({100, 100}, 45, 50), 50);
    // Backwards along the ray does not count.
    EXPECT_NEAR(w.rayCast({1000, 3000}, 180, 5000), 1000, 1e-9);
}

TEST(World, ClearanceIsTheDistanceToTheNearestSegment)
{
    World w;
    w.addRoom({0, 0}, {8000, 6000});
    EXPECT_NEAR(w.clearance({300, 3000}), 300, 1e-9);
    EXPECT_NEAR(w.clearance({4000, 3000}), 3000, 1e-9);
    w.addBox({1000, 1000}, {2000, 2000});
    // Off the box's corner.
    EXPECT_NEAR(w.clearance({2300, 2400}), 500, 1e-9);
}
