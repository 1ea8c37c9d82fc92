#include "common/axis_map.h"

#include <gtest/gtest.h>

namespace kubic {
namespace {

TEST(AxisMapTest, QuarterTurnsAndMirrorsCompose) {
  for (int axis = 0; axis < 3; ++axis) {
    const AxisMap turn = AxisMap::turn(axis, 1), flip = AxisMap::flip(axis);
    EXPECT_EQ(turn.then(turn).then(turn).then(turn), AxisMap{}) << axis;
    EXPECT_EQ(AxisMap::turn(axis, -1), AxisMap::turn(axis, 3)) << axis;
    EXPECT_EQ(flip.then(flip), AxisMap{}) << axis;
    EXPECT_FALSE(turn.mirrors());
    EXPECT_TRUE(flip.mirrors());
  }
  // About y, seen from above: north (-z) goes to east (+x).
  EXPECT_EQ(AxisMap::turn(1, 1).apply({0, 0, -1}), (std::array<int, 3>{1, 0, 0}));
  EXPECT_TRUE(AxisMap::flip(0).mirrors_seen_from_above());
  EXPECT_FALSE(AxisMap::flip(1).mirrors_seen_from_above());
}

TEST(AxisMapTest, CellsStayInTheBoxWhoseCornerStaysPut) {
  const AxisMap turn = AxisMap::turn(1, 1);
  const std::array<int64_t, 3> size = {3, 2, 5};
  EXPECT_EQ(turn.mapped_size(size), (std::array<int64_t, 3>{5, 2, 3}));
  // (x, y, z) -> (Z-1-z, y, x)
  EXPECT_EQ(turn.map_cell({0, 1, 0}, size), (std::array<int64_t, 3>{4, 1, 0}));
  EXPECT_EQ(turn.map_cell({2, 0, 4}, size), (std::array<int64_t, 3>{0, 0, 2}));
  EXPECT_EQ(turn.map_point({0.5, 1.0, 0.25}, size), (std::array<double, 3>{4.75, 1.0, 0.5}));
}

}  // namespace
}  // namespace kubic
