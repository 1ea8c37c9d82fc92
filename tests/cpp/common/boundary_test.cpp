#include "common/boundary.h"

#include <gtest/gtest.h>

#include <vector>

namespace kubic {
namespace {

constexpr AxisOrder kAllOrders[] = {AxisOrder::XYZ, AxisOrder::XZY, AxisOrder::YXZ,
                                    AxisOrder::YZX, AxisOrder::ZXY, AxisOrder::ZYX};

std::vector<BlockPosition> walk_all(const Boundary& b, AxisOrder order) {
  std::vector<BlockPosition> out;
  auto it = b.walk(order);
  while (auto p = it.next()) out.push_back(*p);
  return out;
}

TEST(BoundaryIteratorTest, WalksTwoCubeInDocumentedOrders) {
  Boundary box(0, 0, 0, 2, 2, 2);
  std::vector<BlockPosition> xyz = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 1, 1},
                                    {1, 0, 0}, {1, 0, 1}, {1, 1, 0}, {1, 1, 1}};
  std::vector<BlockPosition> zyx = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                    {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
  EXPECT_EQ(walk_all(box, AxisOrder::XYZ), xyz);
  EXPECT_EQ(walk_all(box, AxisOrder::ZYX), zyx);
}

TEST(BoundaryIteratorTest, IndexMatchesWalkForEveryOrder) {
  Boundary box(-3, 5, -7, 3, 4, 5);
  for (AxisOrder order : kAllOrders) {
    auto positions = walk_all(box, order);
    ASSERT_EQ(positions.size(), box.volume());
    for (size_t i = 0; i < positions.size(); ++i) {
      EXPECT_EQ(axis_index(order, positions[i], box), i) << int(order);
      EXPECT_TRUE(box.contains(positions[i]));
    }
  }
}

TEST(BoundaryIteratorTest, NthJumpsMatchWalking) {
  Boundary box(-2, -2, -2, 3, 2, 4);
  for (AxisOrder order : kAllOrders) {
    auto positions = walk_all(box, order);
    uint64_t volume = positions.size();
    for (uint64_t start = 0; start < volume; start += 5) {
      for (uint64_t n : {uint64_t(0), uint64_t(1), uint64_t(3), volume - 1, volume}) {
        auto it = box.walk(order);
        if (start) it.nth(start - 1);
        auto got = it.nth(n);
        if (start + n < volume) {
          ASSERT_TRUE(got.has_value());
          EXPECT_EQ(*got, positions[start + n]);
          auto after = it.next();
          EXPECT_EQ(after.has_value(), start + n + 1 < volume);
        } else {
          EXPECT_FALSE(got.has_value());
          EXPECT_FALSE(it.next().has_value());
        }
      }
    }
  }
}

TEST(BoundaryIteratorTest, EdgesOfTheWalk) {
  Boundary one(4, 5, 6, 1, 1, 1);
  auto it = one.walk(AxisOrder::XYZ);
  EXPECT_EQ(it.next(), (BlockPosition{4, 5, 6}));
  EXPECT_FALSE(it.next());

  for (Boundary empty : {Boundary(0, 0, 0, 0, 3, 3), Boundary(0, 0, 0, 3, 0, 3),
                         Boundary(0, 0, 0, 3, 3, 0)}) {
    EXPECT_FALSE(empty.walk(AxisOrder::XYZ).next());
    EXPECT_FALSE(empty.walk(AxisOrder::XYZ).nth(0));
  }

  Boundary box(0, 0, 0, 2, 3, 4);
  auto last = box.walk(AxisOrder::YZX);
  EXPECT_EQ(last.nth(23), (BlockPosition{1, 2, 3}));
  EXPECT_TRUE(last.finished());
  auto past = box.walk(AxisOrder::YZX);
  EXPECT_FALSE(past.nth(24));
  EXPECT_TRUE(past.finished());

  auto after_jump = box.walk(AxisOrder::XYZ);
  after_jump.nth(3);
  EXPECT_EQ(axis_index(AxisOrder::XYZ, *after_jump.next(), box), 4u);
}

TEST(BoundaryTest, ExpandAndContains) {
  Boundary box(0, 0, 0, 4, 4, 4);
  Boundary grown = box.expand_to_include({-2, 1, 9});
  EXPECT_EQ(grown, Boundary(-2, 0, 0, 6, 4, 10));
  EXPECT_EQ(box.expand_to_include({1, 1, 1}), box);
  EXPECT_EQ(Boundary().expand_to_include({5, 0, 0}), Boundary(0, 0, 0, 6, 1, 1));

  Boundary negative(-3, -3, -3, 2, 2, 2);
  EXPECT_TRUE(negative.contains({-2, -2, -2}));
  EXPECT_FALSE(negative.contains({-1, -1, -1}));
}

TEST(BoundaryTest, DebugForms) {
  EXPECT_EQ(BlockPosition(1, -2, 3).debug_string(), "BlockPosition { x: 1, y: -2, z: 3 }");
  EXPECT_EQ(Boundary(0, 0, 0, 16, 8, 4).debug_string(),
            "Boundary { min_x: 0, min_y: 0, min_z: 0, d_x: 16, d_y: 8, d_z: 4 }");
}

}  // namespace
}  // namespace kubic

namespace kubic {
namespace {

// A box whose far corner wraps past 2^31 - 1 holds the positions that wrap
// with it, at the offsets they have from its corner, and no others.
TEST(BoundaryOffsetTest, BoxesCrossingTheLastCoordinate) {
  const Boundary box(INT32_MAX - 1, 0, 0, 4, 1, 1);
  EXPECT_EQ(box.offset_of({INT32_MAX - 1, 0, 0}), (std::array<int64_t, 3>{0, 0, 0}));
  EXPECT_EQ(box.offset_of({INT32_MIN + 1, 0, 0}), (std::array<int64_t, 3>{3, 0, 0}));
  EXPECT_EQ(box.offset_of({INT32_MIN + 2, 0, 0}), std::nullopt);
  EXPECT_EQ(box.offset_of({INT32_MAX - 2, 0, 0}), std::nullopt);
  EXPECT_TRUE(box.contains({INT32_MIN, 0, 0}));
  EXPECT_FALSE(Boundary(0, 0, 0, 0, 1, 1).contains({0, 0, 0}));
}

}  // namespace
}  // namespace kubic
