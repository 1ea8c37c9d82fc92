#include "store/lazy_palette_block_store.h"

#include <gtest/gtest.h>

#include "support/test_streams.h"

namespace kubic {
namespace {

using testing::state;

TEST(LazyPaletteStoreTest, MessagesByCause) {
  auto store = LazyPaletteBlockStoreWrapper::empty_fixed_from_size(4, 4, 4);
  EXPECT_EQ(store->block_at({3, 3, 3}).message(),
            "Can not access blocks if palette is not provided");
  EXPECT_EQ(store->set_unknown_block_at(4, 0, 0, 1).message(),
            "Position out of bounds and store is not resizable");
  ASSERT_TRUE(store->set_unknown_block_at(0, 0, 0, 7).ok());
  ASSERT_TRUE(store->set_unknown_block({1, 0, 0}, -3).ok());
  ASSERT_TRUE(store->inner().set_block_at({2, 0, 0}, BlockState::create("x1")).ok());
  store->set_actual_palette({{-3, state("minecraft:dirt")}});

  EXPECT_EQ(store->block_at({0, 0, 0}).message(), "Temporary ID not found in actual palette");
  EXPECT_EQ((*store->block_at({1, 0, 0}))->get()->name(), "minecraft:dirt");
  EXPECT_EQ(store->block_at({2, 0, 0}).message(), "Invalid temporary ID");
  EXPECT_FALSE(store->block_at({3, 0, 0})->has_value());
  EXPECT_EQ(store->block_at({9, 0, 0}).message(), "Position out of bounds");

  // A later palette replaces the earlier one, resolved states included.
  store->set_actual_palette({{-3, state("minecraft:sand")}, {7, state("minecraft:stone")}});
  EXPECT_EQ((*store->block_at({1, 0, 0}))->get()->name(), "minecraft:sand");
  EXPECT_EQ((*store->block_at({0, 0, 0}))->get()->name(), "minecraft:stone");
}

TEST(LazyPaletteStoreTest, PlaceholdersAreSharedAndNeverFoundAsStates) {
  auto store = LazyPaletteBlockStoreWrapper::empty_fixed_from_size(2, 1, 1);
  ASSERT_TRUE(store->set_unknown_block_at(0, 0, 0, 5).ok());
  ASSERT_TRUE(store->set_unknown_block_at(1, 0, 0, 5).ok());
  EXPECT_EQ(store->inner().palette().size(), 1u);
  EXPECT_FALSE(store->state_to_temp_id(state("minecraft:stone")).has_value());
  store->set_actual_palette({{5, state("minecraft:stone")}});
  EXPECT_EQ(store->state_to_temp_id(state("minecraft:stone")), 5);
  EXPECT_FALSE(store->state_to_temp_id(BlockState::create("5")).has_value());
}

}  // namespace
}  // namespace kubic
