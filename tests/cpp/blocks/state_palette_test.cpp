#include "blocks/state_palette.h"

#include <gtest/gtest.h>

namespace kubic {
namespace {

TEST(StatePaletteTest, PlainAirIsZeroEqualStatesShareANumberAndTheLimitHolds) {
  StatePalette palette;
  EXPECT_EQ(*palette.index_of(BlockState::create("minecraft:air")), 0);
  EXPECT_EQ(*palette.index_of(BlockState::create("minecraft:stone")), 1);
  EXPECT_EQ(*palette.index_of(BlockState::create("minecraft:stone")), 1);
  EXPECT_EQ(*palette.index_of(BlockState::create("minecraft:air", {{"x", "y"}})), 2);
  for (size_t i = palette.size(); i < StatePalette::kMaxStates; ++i) {
    ASSERT_TRUE(palette.index_of(BlockState::create("test:s" + std::to_string(i))).ok());
  }
  auto over = palette.index_of(BlockState::create("test:one_too_many"));
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.message(), "more than 65536 distinct states");
  // Known states still have their number; the refused one was not kept.
  EXPECT_EQ(*palette.index_of(BlockState::create("minecraft:stone")), 1);
  EXPECT_FALSE(palette.index_of(BlockState::create("test:one_too_many")).ok());
  EXPECT_EQ(palette.take_states().size(), StatePalette::kMaxStates);
}

}  // namespace
}  // namespace kubic
