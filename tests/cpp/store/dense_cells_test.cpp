#include "store/dense_cells.h"

#include <gtest/gtest.h>

namespace kubic {
namespace {

// A value for every position of a box, from its coordinates.
uint16_t value_of(int64_t x, int64_t y, int64_t z) { return uint16_t(1 + x + 10 * y + 100 * z); }

class LayoutTest : public ::testing::TestWithParam<AxisOrder> {};

TEST_P(LayoutTest, PlanesGoInAndComeOutWhereTheCoordinatesSay) {
  const AxisOrder layout = GetParam();
  const Extent box{7, 5, 9}, part{3, 5, 4}, offset{2, 0, 5};
  std::vector<uint16_t> cells(size_t(box[0] * box[1] * box[2]), 9999);
  // The part's planes in file order, a zero among them to be skipped.
  std::vector<uint16_t> planes;
  for (int64_t y = 0; y < part[1]; ++y) {
    for (int64_t z = 0; z < part[2]; ++z) {
      for (int64_t x = 0; x < part[0]; ++x) planes.push_back(x == 1 && z == 2 ? 0 : value_of(x, y, z));
    }
  }
  const size_t plane = size_t(part[0] * part[2]);
  place_planes(planes.data(), part, 0, 2, cells.data(), box, offset, true, layout);
  place_planes(planes.data() + 2 * plane, part, 2, 3, cells.data(), box, offset, true, layout);
  for (int64_t x = 0; x < box[0]; ++x) {
    for (int64_t y = 0; y < box[1]; ++y) {
      for (int64_t z = 0; z < box[2]; ++z) {
        const int64_t px = x - offset[0], pz = z - offset[2];
        const bool inside = px >= 0 && px < part[0] && pz >= 0 && pz < part[2];
        const uint16_t expected = inside && !(px == 1 && pz == 2) ? value_of(px, y, pz) : 9999;
        ASSERT_EQ(cells[cell_index(box, layout, x, y, z)], expected) << x << "," << y << "," << z;
      }
    }
  }
  // Gathered back in file order, the whole box.
  std::vector<uint16_t> gathered(cells.size());
  gather_planes(cells.data(), box, 0, 3, gathered.data(), layout);
  gather_planes(cells.data(), box, 3, 2, gathered.data() + 3 * box[0] * box[2], layout);
  size_t i = 0;
  for (int64_t y = 0; y < box[1]; ++y) {
    for (int64_t z = 0; z < box[2]; ++z) {
      for (int64_t x = 0; x < box[0]; ++x) ASSERT_EQ(gathered[i++], cells[cell_index(box, layout, x, y, z)]);
    }
  }
}

TEST_P(LayoutTest, RunsOfEveryWalkLandOnTheirPositions) {
  const AxisOrder layout = GetParam();
  const Extent size{4, 3, 5};
  const Boundary box(0, 0, 0, 4, 3, 5);
  for (int code = 0; code < 6; ++code) {
    const AxisOrder order = AxisOrder(code);
    std::vector<uint16_t> cells(60, 0);
    // Runs of 1 to 7 across rows and planes, numbered by where they start.
    for (uint64_t start = 0, length = 1; start < 60; start += length, length = length % 7 + 1) {
      fill_walk_run(cells.data(), size, layout, order, start, std::min<uint64_t>(length, 60 - start), uint16_t(start));
    }
    auto walk = box.walk(order);
    uint64_t n = 0, run_start = 0, length = 1;
    while (auto p = walk.next()) {
      if (n == run_start + length) run_start += length, length = length % 7 + 1;
      ASSERT_EQ(cells[cell_index(size, layout, p->x, p->y, p->z)], uint16_t(run_start)) << code << " at " << n;
      ++n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, LayoutTest, ::testing::Values(AxisOrder::XYZ, AxisOrder::YZX));

}  // namespace
}  // namespace kubic
