#include "store/xyz_scanner.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_streams.h"

namespace kubic {
namespace {

using testing::state;

struct Visited {
  BlockPosition position;
  uint16_t id;
  Volume index;
  bool operator==(const Visited&) const = default;
};

// A store over several slabs of pages: dense pages, sparse ones with a few
// cells, and missing ones, from a negative corner.
std::unique_ptr<PagedBlockStore> mixed_store(const Boundary& box) {
  std::mt19937 random(11);
  auto store = PagedBlockStore::new_for_fixed_boundary(box);
  for (const char* name : {"minecraft:stone", "minecraft:dirt", "minecraft:sand"}) EXPECT_TRUE(store->intern(state(name)).ok());
  auto walk = box.walk(AxisOrder::XYZ);
  while (auto p = walk.next()) {
    const bool dense_part = p->x - box.min_x < 20 || (p->x - box.min_x > 40 && p->z - box.min_z < 9);
    if (dense_part ? random() % 3 != 0 : random() % 97 == 0) {
      EXPECT_TRUE(store->set_palette_id_at(*p, uint16_t(random() % 3)).ok());
    }
  }
  return store;
}

// What a scan should visit: every stored cell in XYZ order with its index.
std::vector<Visited> expected_cells(const PagedBlockStore& store, const Boundary& box) {
  std::vector<Visited> cells;
  Volume index = 0;
  auto walk = box.walk(AxisOrder::XYZ);
  while (auto p = walk.next()) {
    if (auto id = store.palette_id_at(*p)) cells.push_back({*p, *id, index});
    ++index;
  }
  return cells;
}

TEST(XyzScannerTest, ResumedScansVisitWhatAWalkFinds) {
  const Boundary box(-13, -9, -21, 57, 19, 33);
  auto store = mixed_store(box);
  const auto expected = expected_cells(*store, box);
  ASSERT_GT(expected.size(), 1000u);
  // In pieces of every few cells, resumed where each stopped, slabs and
  // pages crossed on the way.
  for (size_t piece : {1u, 7u, 300u, 100000u}) {
    XyzScanner scanner(*store);
    std::vector<Visited> seen;
    Volume from = 0;
    while (from < scanner.volume()) {
      size_t taken = 0;
      from = scanner.scan(from, [&](const BlockPosition& p, uint16_t id, Volume index) {
        seen.push_back({p, id, index});
        return ++taken < piece;
      });
    }
    ASSERT_EQ(seen, expected) << piece;
  }
  // Started anywhere, back in an earlier slab after a later one.
  XyzScanner scanner(*store);
  for (size_t start : {expected.size() - 1, size_t(0), expected.size() / 2, size_t(5)}) {
    Visited first{};
    scanner.scan(expected[start].index, [&](const BlockPosition& p, uint16_t id, Volume index) {
      first = {p, id, index};
      return false;
    });
    EXPECT_EQ(first, expected[start]) << start;
  }
}

}  // namespace
}  // namespace kubic
