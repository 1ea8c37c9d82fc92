#include "formats/mcedit/legacy_ids.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "formats/mcedit/mcedit_reader.h"
#include "support/corpus.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

std::string stored_form(const std::optional<StateRef>& state) {
  if (!state) return "";
  std::string text = (*state)->name();
  const auto& props = (*state)->properties();
  for (size_t i = 0; i < props.size(); ++i) text += (i ? "," : "[") + props[i].first + "=" + props[i].second;
  return props.empty() ? text : text + "]";
}

TEST(LegacyIdsTest, TableLookups) {
  struct Case {
    uint32_t id;
    uint8_t data;
    std::optional<std::string> name;
  } cases[] = {
      {1, 1, "minecraft:granite"}, {1, 0, "minecraft:stone"}, {1, 9, std::nullopt},
      {36, 0, std::nullopt}, {253, 0, std::nullopt}, {254, 0, std::nullopt},
      {255, 0, "minecraft:structure_block"}, {31, 1, "minecraft:grass"},
      {31, 0, "minecraft:dead_bush"}, {35, 15, "minecraft:black_wool"}, {145, 1, std::nullopt},
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
  EXPECT_EQ(plain + with_data, 446);
}

TEST(LegacyIdsTest, ConversionRows) {
  struct Case {
    uint32_t id;
    uint8_t data;
    std::string expected;  // "" for nothing; name[k=v,...] in stored order
  } cases[] = {
      {53, 0, "minecraft:oak_stairs[facing=east,half=bottom,shape=straight,waterlogged=false]"},
      {53, 6, "minecraft:oak_stairs[facing=south,half=top,shape=straight,waterlogged=false]"},
      {64, 1, "minecraft:oak_door[facing=south,half=lower,hinge=left,open=false,powered=false]"},
      {64, 9, "minecraft:oak_door[facing=north,half=upper,hinge=right,open=false,powered=false]"},
      {50, 3, "minecraft:wall_torch[facing=south]"},
      {50, 5, "minecraft:torch"},
      {75, 0, "minecraft:redstone_torch[lit=false]"},
      {76, 4, "minecraft:redstone_wall_torch[facing=north,lit=true]"},
      {23, 7, "minecraft:dispenser[facing=down,triggered=false]"},  // never written: data 0
      {44, 10, "minecraft:petrified_oak_slab[type=top,waterlogged=false]"},
      {43, 3, "minecraft:cobblestone_slab[type=double,waterlogged=false]"},
      {43, 8, "minecraft:smooth_stone"},
      {1, 9, "minecraft:stone"},
      {1, 1, "minecraft:granite"},
      {29, 14, "minecraft:sticky_piston[extended=false,facing=down]"},
      {139, 2, "minecraft:cobblestone_wall[east=false,north=false,south=false,up=true,waterlogged=false,west=false]"},
      {140, 1, "minecraft:potted_poppy"},
      {155, 6, "minecraft:quartz_pillar[axis=x]"},
      {255, 14, "minecraft:structure_block[mode=save]"},
      {29, 9, "minecraft:sticky_piston[extended=true,facing=up]"},
      {66, 9, "minecraft:rail[shape=north_east]"},
      {18, 12, "minecraft:oak_leaves[distance=7,persistent=true]"},
      {17, 4 | 1, "minecraft:spruce_log[axis=x]"},
      {17, 12 | 2, "minecraft:birch_wood[axis=y]"},
      {162, 8 | 1, "minecraft:dark_oak_log[axis=z]"},
      {8, 5, "minecraft:water[level=5]"},
      {26, 9, "minecraft:red_bed[facing=west,occupied=false,part=head]"},
      {54, 4, "minecraft:chest[facing=west,type=single,waterlogged=false]"},
      {59, 3, "minecraft:wheat[age=3]"},
      {63, 2, "minecraft:sign[rotation=2,waterlogged=false]"},
      {69, 13, "minecraft:lever[face=floor,facing=north,powered=true]"},
      {77, 0, "minecraft:stone_button[face=ceiling,facing=north,powered=false]"},
      {85, 5, "minecraft:oak_fence[east=false,north=false,south=false,waterlogged=false,west=false]"},
      {92, 3, "minecraft:cake[bites=3]"},
      {94, 7, "minecraft:repeater[delay=2,facing=east,locked=false,powered=true]"},
      {96, 12, "minecraft:oak_trapdoor[facing=north,half=top,open=true,powered=false,waterlogged=false]"},
      {99, 1, "minecraft:brown_mushroom_block[down=false,east=false,north=true,south=false,up=true,west=true]"},
      {100, 10, "minecraft:mushroom_stem[down=false,east=true,north=true,south=true,up=false,west=true]"},
      {120, 6, "minecraft:end_portal_frame[eye=true,facing=north]"},
      {126, 11, "minecraft:jungle_slab[type=top,waterlogged=false]"},
      {145, 6, "minecraft:chipped_anvil[facing=north]"},
      {149, 9, "minecraft:comparator[facing=west,mode=compare,powered=true]"},
      {154, 10, "minecraft:hopper[enabled=false,facing=north]"},
      {155, 3, "minecraft:quartz_pillar[axis=x]"},
      {175, 10, "minecraft:tall_grass[half=upper]"},
      {183, 6, "minecraft:spruce_fence_gate[facing=north,in_wall=false,open=true,powered=false]"},
      {36, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(stored_form(convert_legacy_data_to_modern_properties(c.id, c.data)), c.expected)
        << c.id << ":" << int(c.data);
  }
}

// Blocks of Minecraft 1.13.2: name -> property -> allowed values.
using BlockTable = std::map<std::string, std::map<std::string, std::set<std::string>>>;

std::optional<BlockTable> blocks_1_13_2() {
  std::ifstream in(testing::corpus_dir().parent_path() / "data/blocks/blocks-1.13.2.json");
  if (!in) return std::nullopt;
  BlockTable table;
  for (const auto& block : nlohmann::json::parse(in)) {
    auto& properties = table["minecraft:" + block["name"].get<std::string>()];
    for (const auto& property : block["states"]) {
      auto& values = properties[property["name"].get<std::string>()];
      if (property["type"] == "bool") {
        values = {"true", "false"};
      } else if (property.contains("values")) {
        for (const auto& value : property["values"]) values.insert(value.get<std::string>());
      } else {
        for (int i = 0; i < property["num_values"].get<int>(); ++i) values.insert(std::to_string(i));
      }
    }
  }
  return table;
}

// "" when the state is a 1.13.2 block with exactly its properties.
std::string problem(const BlockTable& table, const BlockState& state) {
  auto block = table.find(state.name());
  if (block == table.end()) return "unknown block";
  std::set<std::string> seen;
  for (const auto& [key, value] : state.properties()) {
    auto property = block->second.find(key);
    if (property == block->second.end()) return "no property " + key;
    if (!property->second.contains(value)) return key + "=" + value + " not allowed";
    seen.insert(key);
  }
  if (seen.size() != block->second.size()) return "properties missing";
  return "";
}

// The game's own flattening: "id:data" to the 1.13 name.
std::optional<std::map<std::string, std::string>> game_flattening() {
  std::ifstream in(testing::corpus_dir().parent_path() / "data/legacy/legacy.json");
  if (!in) return std::nullopt;
  std::map<std::string, std::string> names;
  const auto legacy = nlohmann::json::parse(in);
  for (const auto& [key, text] : legacy["blocks"].items()) {
    const std::string value = text.get<std::string>();
    names[key] = value.substr(0, value.find('['));
  }
  return names;
}

TEST(LegacyIdsTest, EveryPairTakesTheNameTheGamesFlatteningGives) {
  auto game = game_flattening();
  if (!game) GTEST_SKIP() << "game data absent";
  for (uint32_t id = 0; id < 256; ++id) {
    // Ids outside the table (36, moving pistons) stay unknown.
    auto first = convert_legacy_data_to_modern_properties(id, 0);
    if (!first) continue;
    for (unsigned data = 0; data < 16; ++data) {
      const std::string key = std::to_string(id) + ":" + std::to_string(data);
      // Data values the game never wrote take the block of data value 0.
      const auto expected = game->contains(key) ? game->at(key) : (*first)->name();
      auto state = convert_legacy_data_to_modern_properties(id, uint8_t(data));
      ASSERT_TRUE(state) << key;
      EXPECT_EQ((*state)->name(), expected) << key;
    }
  }
}

TEST(LegacyIdsTest, EveryConvertedStateIsAValidBlockOf1_13_2) {
  auto table = blocks_1_13_2();
  if (!table) GTEST_SKIP() << "block tables absent";
  int converted = 0;
  for (uint32_t id = 0; id < 256; ++id) {
    for (unsigned data = 0; data < 16; ++data) {
      auto state = convert_legacy_data_to_modern_properties(id, uint8_t(data));
      if (!state) continue;
      ++converted;
      EXPECT_EQ(problem(*table, **state), "") << id << ":" << data << " " << (*state)->to_string();
    }
  }
  EXPECT_GT(converted, 2500);
}

TEST(LegacyIdsTest, EveryMCEditCorpusBlockIsAValidBlockOf1_13_2) {
  auto table = blocks_1_13_2();
  auto files = testing::corpus_files("mcedit");
  if (!table || files.empty()) GTEST_SKIP() << "block tables or corpus absent";
  for (const auto& path : files) {
    auto raw = testing::gunzip(testing::read_file(path));
    ASSERT_TRUE(raw.ok()) << path;
    MCEditSchematicInputStream reader(testing::source_of(*raw));
    ::testing::internal::CaptureStdout();
    auto blocks = reader.read_to_end_into_vec();
    ::testing::internal::GetCapturedStdout();
    if (!blocks.ok()) continue;
    for (const Block& block : *blocks) {
      ASSERT_EQ(problem(*table, *block.state), "") << path << " " << block.state->to_string();
    }
  }
}

}  // namespace
}  // namespace kubic
