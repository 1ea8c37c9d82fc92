#include "stream/legacy_ids.h"

#include <gtest/gtest.h>

namespace kubic {
namespace {

TEST(LegacyIdsTest, TableLookups) {
  struct Case {
    uint32_t id;
    uint8_t data;
    std::optional<std::string> name;
  } cases[] = {
      {1, 1, "minecraft:granite"}, {1, 0, "minecraft:stone"}, {1, 9, std::nullopt},
      {36, 0, std::nullopt}, {253, 0, std::nullopt}, {254, 0, std::nullopt},
      {255, 0, "minecraft:structure_block"}, {31, 1, "minecraft:short_grass"},
      {31, 0, "minecraft:short_grass"}, {35, 15, "minecraft:black_wool"},
      {219, 0, "minecraft:white_shulker_box"}, {234, 0, "minecraft:black_shulker_box"},
      {250, 0, "minecraft:black_glazed_terracotta"}, {252, 3, "minecraft:light_blue_concrete_powder"},
  };
  for (const auto& c : cases) EXPECT_EQ(get_legacy_type(c.id, c.data), c.name) << c.id << ":" << int(c.data);
}

TEST(LegacyIdsTest, TableHasEveryPlainIdAndOnlyModernNames) {
  int plain = 0;
  for (uint32_t id = 0; id < 256; ++id) {
    auto name = get_legacy_type(id, 0);
    if (!name) continue;
    ++plain;
    EXPECT_EQ(name->rfind("minecraft:", 0), 0u);
  }
  EXPECT_EQ(plain, 253);
  int with_data = 0;
  for (uint32_t id = 0; id < 256; ++id) {
    for (uint8_t data = 1; data < 16; ++data) with_data += get_legacy_type(id, data).has_value();
  }
  EXPECT_EQ(plain + with_data, 448);
}

TEST(LegacyIdsTest, ConversionRows) {
  struct Case {
    uint32_t id;
    uint8_t data;
    std::string expected;  // "" for nothing; name[k=v,...] in stored order
  } cases[] = {
      {53, 6, "minecraft:oak_stairs[facing=south,half=top,shape=straight]"},
      {64, 9, "minecraft:oak_door[half=top,facing=south,open=false,hinge=right,powered=false]"},
      {50, 3, "minecraft:wall_torch[facing=south,lit=true]"},
      {75, 0, "minecraft:redstone_torch[facing=up,lit=false]"},
      {23, 7, ""},
      {44, 10, "minecraft:wooden_slab[half=top]"},
      {43, 3, "minecraft:double_cobblestone_slab"},
      {1, 9, "minecraft:stone"},
      {29, 14, ""},
      {29, 9, "minecraft:sticky_piston[facing=up,extended=true]"},
      {66, 9, "minecraft:rail[shape=east_west]"},
      {18, 12, "minecraft:oak_leaves[decayable=false,check_decay=false]"},
      {17, 4 | 1, "minecraft:spruce_log[axis=x]"},
      {162, 8 | 1, "minecraft:dark_oak_log[axis=z]"},
      {8, 5, "minecraft:water[level=5]"},
      {26, 9, "minecraft:red_bed[facing=west,part=head]"},
      {54, 4, "minecraft:chest[facing=west]"},
      {63, 2, "minecraft:oak_sign[facing=north]"},
      {69, 13, "minecraft:lever[facing=up,powered=true,face=ceiling]"},
      {77, 0, "minecraft:stone_button[facing=north,powered=false,face=ceiling]"},
      {85, 5, "minecraft:oak_fence[north=true,east=false,south=true,west=false]"},
      {92, 3, "minecraft:cake[bites=3]"},
      {94, 7, "minecraft:repeater[facing=east,delay=2,powered=true]"},
      {96, 12, "minecraft:oak_trapdoor[facing=north,half=top,open=true]"},
      {120, 10, "minecraft:end_portal_frame[facing=west,eye=true]"},
      {126, 11, "minecraft:jungle_slab[half=top]"},
      {149, 9, "minecraft:comparator[facing=south,mode=subtract,powered=false]"},
      {154, 10, "minecraft:hopper[facing=north,enabled=false]"},
      {183, 6, "minecraft:spruce_fence_gate[facing=west,open=true,powered=false]"},
      {36, 0, ""},
  };
  for (const auto& c : cases) {
    auto state = convert_legacy_data_to_modern_properties(c.id, c.data);
    std::string got;
    if (state) {
      got = (*state)->name();
      const auto& props = (*state)->properties();
      for (size_t i = 0; i < props.size(); ++i) {
        got += (i ? "," : "[") + props[i].first + "=" + props[i].second;
      }
      if (!props.empty()) got += "]";
    }
    EXPECT_EQ(got, c.expected) << c.id << ":" << int(c.data);
  }
}

}  // namespace
}  // namespace kubic
