#include "store/paged_block_store.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_streams.h"

namespace kubic {
namespace {

using testing::state;

TEST(PagedBlockStoreTest, PageGeometryFollowsBoxSize) {
  struct Case {
    int32_t size;
    uint32_t page;
  } cases[] = {{1, 8}, {16, 8}, {71, 8}, {72, 16}, {135, 16}, {136, 32},
               {263, 32}, {264, 64}, {100000, 64}, {-5, 8}, {-16, 64}, {0, 8}};
  for (const auto& c : cases) {
    auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, c.size, 1, 1));
    EXPECT_EQ(store->page_size(0), c.page) << c.size;
  }
  auto mixed = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 1000, 100, 8));
  EXPECT_EQ(mixed->page_size(0), 64u);
  EXPECT_EQ(mixed->page_size(1), 16u);
  EXPECT_EQ(mixed->page_size(2), 8u);
}

TEST(PagedBlockStoreTest, RowsStoreAsCellByCell) {
  // Rows across pages of 8, from negative corners, with gaps (0 leaves a
  // cell alone), filling pages sparse and dense, over earlier blocks.
  std::mt19937 random(9);
  const Boundary box(-13, -3, -5, 70, 4, 3);
  auto by_rows = PagedBlockStore::new_for_fixed_boundary(box);
  auto by_cells = PagedBlockStore::new_for_fixed_boundary(box);
  for (auto* store : {by_rows.get(), by_cells.get()}) {
    for (const char* name : {"minecraft:stone", "minecraft:dirt", "minecraft:sand"}) ASSERT_TRUE(store->intern(state(name)).ok());
    ASSERT_TRUE(store->set_palette_id_at({0, -3, -5}, 2).ok());
  }
  for (int round = 0; round < 40; ++round) {
    const int32_t x0 = box.min_x + int32_t(random() % 60), length = int32_t(random() % (box.d_x - (x0 - box.min_x))) + 1;
    const BlockPosition start{x0, box.min_y + int32_t(random() % 4), box.min_z + int32_t(random() % 3)};
    const bool sparse = round < 10;
    std::vector<uint16_t> cells(static_cast<size_t>(length));
    for (uint16_t& cell : cells) cell = sparse && random() % 8 ? 0 : uint16_t(random() % 4);
    ASSERT_TRUE(by_rows->set_row(start, cells).ok());
    for (int32_t i = 0; i < length; ++i) {
      const uint16_t cell = cells[size_t(i)];
      if (cell) {
        ASSERT_TRUE(by_cells->set_palette_id_at({x0 + i, start.y, start.z}, uint16_t(cell - 1)).ok());
      }
    }
  }
  auto positions = box.walk(AxisOrder::XYZ);
  while (auto p = positions.next()) ASSERT_EQ(by_rows->palette_id_at(*p), by_cells->palette_id_at(*p)) << p->debug_string();
}

TEST(PagedBlockStoreTest, SetReplaceRemoveAndMessages) {
  auto store = PagedBlockStore::new_for_boundary(Boundary(-20, -20, -20, 40, 40, 40));
  BlockPosition p{-17, 3, -1};
  EXPECT_FALSE(store->block_at(p)->has_value());
  ASSERT_TRUE(store->set_block_at(p, state("minecraft:stone")).ok());
  ASSERT_TRUE(store->set_block_at(p, state("minecraft:dirt")).ok());
  EXPECT_EQ((*store->block_at(p))->get()->name(), "minecraft:dirt");
  // Positions that differ only in their page coordinates never share a cell.
  EXPECT_FALSE(store->block_at({-17 + 8, 3, -1})->has_value());
  EXPECT_FALSE(store->block_at({-17 + 8, 3 + 8, -1})->has_value());

  EXPECT_EQ(store->set_block_at({20, 0, 0}, state("minecraft:stone")).message(),
            "Position out of bounds and store is not resizable");
  EXPECT_EQ(store->block_at({20, 0, 0}).message(), "Position out of bounds");

  EXPECT_TRUE(store->remove_block_at({19, 19, 19}).ok());  // no page there
  EXPECT_TRUE(store->remove_block_at(p).ok());
  EXPECT_EQ(store->remove_block_at(p).message(), "No block to erase at given coordinates");
  EXPECT_FALSE(store->block_at(p)->has_value());
}

TEST(PagedBlockStoreTest, EqualStatesShareOnePaletteEntry) {
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 4, 4, 4));
  ASSERT_TRUE(store->set_block_at({0, 0, 0}, state("minecraft:stone")).ok());
  ASSERT_TRUE(store->set_block_at({1, 0, 0}, state("minecraft:stone")).ok());
  EXPECT_EQ(store->palette().size(), 1u);
}

TEST(PagedBlockStoreTest, InsertStopsAtTheFirstError) {
  auto store = PagedBlockStore::new_for_fixed_boundary(Boundary(0, 0, 0, 2, 2, 2));
  std::vector<Block> blocks = {{{0, 0, 0}, state("minecraft:stone")},
                               {{5, 0, 0}, state("minecraft:stone")},
                               {{1, 1, 1}, state("minecraft:stone")}};
  EXPECT_EQ(store->insert(blocks).message(), "Position out of bounds and store is not resizable");
  EXPECT_TRUE(store->block_at({0, 0, 0})->has_value());
  EXPECT_FALSE(store->block_at({1, 1, 1})->has_value());
}

TEST(PagedBlockStoreTest, BlockIteratorSkipsAirAndEmptyInEveryOrder) {
  Boundary box(-2, 0, 3, 3, 2, 2);
  auto store = PagedBlockStore::new_for_boundary(box);
  std::vector<BlockPosition> solid = {{-2, 0, 3}, {0, 1, 4}, {-1, 0, 4}, {0, 0, 3}};
  for (const auto& p : solid) ASSERT_TRUE(store->set_block_at(p, state("minecraft:stone")).ok());
  ASSERT_TRUE(store->set_block_at({-1, 1, 3}, state("minecraft:cave_air")).ok());
  for (int code = 0; code < 6; ++code) {
    AxisOrder order = AxisOrder(code);
    std::vector<BlockPosition> expected;
    auto walk = box.walk(order);
    while (auto p = walk.next()) {
      if (std::find(solid.begin(), solid.end(), *p) != solid.end()) expected.push_back(*p);
    }
    std::vector<BlockPosition> got;
    auto it = store->block_iterator(order);
    while (auto b = it.next()) got.push_back(b->position);
    EXPECT_EQ(got, expected) << code;
  }
}

TEST(PagedBlockStoreTest, RefusesAPaletteOverflow) {
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 256, 256, 2));
  for (int i = 0; i < 65535; ++i) {
    ASSERT_TRUE(store->set_block_at({i % 256, i / 256, 0},
                                    BlockState::create("s" + std::to_string(i))).ok());
  }
  auto overflow = store->set_block_at({0, 0, 1}, BlockState::create("one-more"));
  EXPECT_FALSE(overflow.ok());
  EXPECT_EQ(overflow.message(), "Block store palette is full: at most 65535 distinct states");
  EXPECT_TRUE(store->set_block_at({0, 0, 1}, BlockState::create("s7")).ok());
}

TEST(PagedBlockStoreTest, ScatteredBlocksCostTheirCellsNotTheirPages) {
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 1 << 30, 1 << 30, 1 << 30));
  for (int i = 0; i < 50000; ++i) {
    ASSERT_TRUE(store->set_block_at({i * 64, i % 7, 3}, state("minecraft:stone")).ok()) << i;
  }
  EXPECT_EQ(*store->palette_id_at({64 * 49999, 49999 % 7, 3}), 0);
  EXPECT_FALSE(store->palette_id_at({64 * 49999, 0, 0}).has_value());
}

TEST(PagedBlockStoreTest, PagesTurnDenseWithoutLosingCells) {
  // 8-wide pages: 512 cells, dense past 32 stored cells.
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 8, 8, 8));
  for (int i = 0; i < 512; i += 3) ASSERT_TRUE(store->set_block_at({i % 8, i / 8 % 8, i / 64}, state("s" + std::to_string(i % 5))).ok());
  ASSERT_TRUE(store->remove_block_at({0, 0, 0}).ok());
  EXPECT_EQ(store->remove_block_at({0, 0, 0}).message(), "No block to erase at given coordinates");
  for (int i = 1; i < 512; ++i) {
    auto id = store->palette_id_at({i % 8, i / 8 % 8, i / 64});
    if (i % 3 == 0) {
      ASSERT_TRUE(id.has_value()) << i;
      EXPECT_EQ(store->palette()[*id]->name(), "s" + std::to_string(i % 5)) << i;
    } else {
      EXPECT_FALSE(id.has_value()) << i;
    }
  }
}

TEST(PagedBlockStoreTest, DensePagesHitTheMemoryLimit) {
  // 64-wide pages of 512 KiB turn dense at their 257th block.
  auto store = PagedBlockStore::new_for_boundary(Boundary(0, 0, 0, 1 << 30, 1 << 30, 1 << 30));
  Status status;
  int page = 0, block = 0;
  for (; page <= 16384 && status.ok(); ++page) {
    for (block = 0; block < 257 && status.ok(); ++block) {
      status = store->set_block_at({page * 64 + block % 64, block / 64, 0}, state("minecraft:stone"));
    }
  }
  EXPECT_EQ(status.message(), "Block store memory limit of 8 GiB exceeded");
  EXPECT_EQ(page - 1, 16384);
  EXPECT_EQ(block - 1, 256);
}

}  // namespace
}  // namespace kubic
