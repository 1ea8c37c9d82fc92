#include <gtest/gtest.h>

#include "blocks/game_versions.h"
#include "io/memory_stream.h"
#include "nbt/nbt_reader.h"
#include "nbt/nbt_writer.h"
#include "formats/sponge/sponge_reader.h"
#include "formats/sponge/sponge_writer.h"
#include "support/corpus.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::describe;
using testing::source_of;
using testing::state;

Bytes encode(Compound root) {
  auto out = std::make_shared<Bytes>();
  MemorySink sink(out);
  EXPECT_TRUE(encode_nbt(NamedTag{"Schematic", Tag{std::move(root)}}, sink).ok());
  return *out;
}

Compound palette_of(std::initializer_list<std::pair<const char*, int32_t>> entries) {
  Compound palette;
  for (auto [name, index] : entries) palette.put(name, Tag{index});
  return palette;
}

// The older layout: sizes, "Palette" and "BlockData" at the top.
Compound old_layout(int16_t w, int16_t h, int16_t l, Compound palette, std::vector<int8_t> data) {
  Compound root;
  root.put("Width", Tag{w});
  root.put("Height", Tag{h});
  root.put("Length", Tag{l});
  root.put("Palette", Tag{std::move(palette)});
  root.put("BlockData", Tag{std::move(data)});
  return root;
}

Compound new_layout(int16_t w, int16_t h, int16_t l, Compound palette, std::vector<int8_t> data) {
  Compound blocks;
  blocks.put("Palette", Tag{std::move(palette)});
  blocks.put("Data", Tag{std::move(data)});
  Compound schematic;
  schematic.put("Width", Tag{w});
  schematic.put("Height", Tag{h});
  schematic.put("Length", Tag{l});
  schematic.put("Blocks", Tag{std::move(blocks)});
  Compound root;
  root.put("Schematic", Tag{std::move(schematic)});
  return root;
}

Compound four_blocks() {
  return palette_of({{"minecraft:stone", 0}, {"minecraft:dirt", 1}, {"minecraft:glass", 2}, {"minecraft:sand", 3}});
}

TEST(SpongeReaderTest, BothLayoutsYieldTheSameBlocksInXyzOrder) {
  for (bool nested : {false, true}) {
    Bytes doc = encode(nested ? new_layout(2, 1, 2, four_blocks(), {0, 1, 2, 3})
                              : old_layout(2, 1, 2, four_blocks(), {0, 1, 2, 3}));
    SpongeSchematicInputStream reader(source_of(doc));
    EXPECT_EQ(**reader.boundary(), Boundary(0, 0, 0, 2, 1, 2));
    EXPECT_EQ(describe(*reader.read_to_end_into_vec()),
              (std::vector<std::string>{"0,0,0 minecraft:stone", "0,0,1 minecraft:glass",
                                        "1,0,0 minecraft:dirt", "1,0,1 minecraft:sand"}));
  }
}

std::string header_error(Compound root) {
  SpongeSchematicInputStream reader(source_of(encode(std::move(root))));
  auto b = reader.boundary();
  return b.ok() ? "<ok>" : b.message();
}

TEST(SpongeReaderTest, HeaderMessagesByCause) {
  const std::string blocks = "Sponge: Failed to process blocks: ";
  const std::string palette = "Sponge: Failed to process palette: ";
  auto with = [](Compound root, const char* name, Tag tag) {
    root.put(name, std::move(tag));
    return root;
  };
  Compound no_sizes;
  no_sizes.put("Length", Tag{int16_t(1)});
  Compound bad_blocks = old_layout(1, 1, 1, four_blocks(), {0});
  bad_blocks.put("Blocks", Tag{int32_t(1)});
  Compound no_palette = old_layout(1, 1, 1, four_blocks(), {0});
  Compound stripped;
  for (const auto& e : no_palette.entries()) {
    if (e.name != "Palette") stripped.put(e.name, Tag{int16_t(1)});
  }
  struct Case {
    std::string name;
    Compound root;
    std::string message;
  } cases[] = {
      {"schematic int", with(Compound(), "Schematic", Tag{int32_t(1)}), "Sponge: Missing or invalid 'Schematic' tag"},
      {"height first", std::move(no_sizes), "Sponge: Missing or invalid 'Height' tag"},
      {"width int", with(old_layout(1, 1, 1, four_blocks(), {0}), "Width", Tag{int32_t(1)}), "Sponge: Missing or invalid 'Width' tag"},
      {"blocks int", std::move(bad_blocks), palette + "Sponge: 'Blocks' tag is not a Compound"},
      {"palette short", old_layout(1, 1, 1, [] { Compound p; p.put("minecraft:stone", Tag{int16_t(0)}); return p; }(), {0}),
       palette + "Sponge: Palette entry value is not an Int"},
      {"palette not compound", with(old_layout(1, 1, 1, Compound(), {}), "Palette", Tag{int32_t(0)}), palette + "Sponge: 'Palette' tag is not a Compound"},
      {"bad state", old_layout(1, 1, 1, palette_of({{"a:b:c[x=y]", 0}}), {}),
       palette + "Malformed BlockState string: 'a:b:c[x=y]' must contain exactly one ':' separating namespace and type"},
      {"empty namespace", old_layout(1, 1, 1, palette_of({{":stone[a=b]", 0}}), {}),
       palette + "Malformed BlockState string: missing namespace in ':stone'"},
      {"data int", with(old_layout(1, 1, 1, four_blocks(), {}), "BlockData", Tag{int32_t(0)}), blocks + "Sponge: 'BlockData' tag is not a ByteArray"},
      {"cut varint", old_layout(1, 1, 1, four_blocks(), {int8_t(0x80)}), blocks + "Sponge: VarInt array ended unexpectedly"},
      {"too big", old_layout(1, 1, 1, four_blocks(), {-1, -1, -1, -1, int8_t(0x8F)}), blocks + "Sponge: VarInt is too big"},
      {"too big at end", old_layout(1, 1, 1, four_blocks(), {-1, -1, -1, -1, int8_t(0x80)}), blocks + "Sponge: VarInt is too big"},
      {"negative", old_layout(1, 1, 1, four_blocks(), {-1, -1, -1, -1, 0x0F}), blocks + "Sponge: Invalid block state index -1 in block data"},
      {"one more", old_layout(1, 1, 1, four_blocks(), {0, 1}), blocks + "Sponge: Block data has more entries than expected from boundary"},
  };
  for (auto& c : cases) EXPECT_EQ(header_error(std::move(c.root)), c.message) << c.name;

  Compound missing_palette;
  missing_palette.put("Width", Tag{int16_t(1)});
  missing_palette.put("Height", Tag{int16_t(1)});
  missing_palette.put("Length", Tag{int16_t(1)});
  missing_palette.put("BlockData", Tag{std::vector<int8_t>{0}});
  EXPECT_EQ(header_error(std::move(missing_palette)), palette + "Sponge: Missing 'Palette' tag");
  SpongeSchematicInputStream not_nbt(source_of({1, 2, 3}));
  EXPECT_EQ(not_nbt.boundary().message(),
            "Sponge: Failed to read NBT data: unexpected end of NBT data at byte 3");
}

TEST(SpongeReaderTest, NamesWithoutANamespaceAreMinecraftNames) {
  Bytes doc = encode(old_layout(4, 1, 1, palette_of({{"stone", 0}, {"stone[a=b]", 1}, {" dirt", 2}, {"create:shaft[axis=y]", 3}}),
                                {0, 1, 2, 3}));
  SpongeSchematicInputStream reader(source_of(doc));
  EXPECT_EQ(describe(*reader.read_to_end_into_vec()),
            (std::vector<std::string>{"0,0,0 minecraft:stone", "1,0,0 minecraft:stone[a=b]", "2,0,0 minecraft:dirt",
                                      "3,0,0 create:shaft[axis=y]"}));
}

TEST(SpongeReaderTest, AFailedHeaderIsNotRetriedOnTheBytesThatFollow) {
  // A good document a buffer's length behind a broken one, and a palette
  // failure in front of a good document: retries fail on the used reader.
  for (Bytes first : {Bytes{10, 0, 0, 99}, encode(old_layout(1, 1, 1, palette_of({{":stone[a=b]", 0}}), {0}))}) {
    for (size_t gap : {size_t(0), size_t(65536), size_t(1 << 17)}) {
      Bytes bytes = first;
      bytes.resize(std::max(bytes.size(), gap));
      Bytes good = encode(old_layout(2, 1, 2, four_blocks(), {0, 1, 2, 3}));
      bytes.insert(bytes.end(), good.begin(), good.end());
      SpongeSchematicInputStream reader(source_of(bytes));
      EXPECT_FALSE(reader.boundary().ok());
      for (int retry = 0; retry < 2; ++retry) {
        std::vector<Block> out;
        EXPECT_EQ(reader.read(out, 10).message(), "Sponge: Failed to read NBT data: empty NBT document");
      }
    }
  }
}

TEST(SpongeReaderTest, ReadSemantics) {
  // Plain air is not stored; cave air is stored but never returned; an index
  // missing from the palette fails only when its block is read.
  Bytes doc = encode(old_layout(3, 1, 1, palette_of({{"minecraft:air", 5}, {"minecraft:cave_air", 1}, {"minecraft:stone", 2}}),
                                {5, 1, 9}));
  SpongeSchematicInputStream reader(source_of(doc));
  std::vector<Block> out;
  EXPECT_TRUE(reader.read(out, 0)->has_more);
  EXPECT_EQ(reader.read(out, 10).message(), "Temporary ID not found in actual palette");

  SpongeSchematicInputStream empty(source_of(encode(old_layout(3, 1, 1, four_blocks(), {}))));
  EXPECT_FALSE(empty.read(out, 10)->has_more);

  // Sizes are unsigned 16-bit: 40000 stays 40000.
  SpongeSchematicInputStream wide(source_of(encode(old_layout(int16_t(40000), 1, 1, four_blocks(), {1}))));
  EXPECT_EQ((**wide.boundary()).d_x, 40000);
  EXPECT_EQ(describe(*wide.read_to_end_into_vec()), (std::vector<std::string>{"0,0,0 minecraft:dirt"}));
}

Result<Bytes> write_sponge(const std::vector<Block>& blocks, const Boundary& box) {
  auto out = std::make_shared<Bytes>();
  SpongeSchematicOutputStream writer(std::make_unique<MemorySink>(out), box);
  KUBIC_RETURN_IF_ERROR(writer.write(blocks));
  KUBIC_RETURN_IF_ERROR(writer.complete());
  return *out;
}

TEST(SpongeWriterTest, PaletteAndDataFollowTheExamples) {
  struct Case {
    Boundary box;
    std::vector<Block> blocks;
    std::vector<int8_t> data;
    size_t palette_size;
  } cases[] = {
      {Boundary(0, 0, 0, 2, 1, 1), {}, {0, 0}, 1},
      {Boundary(0, 0, 0, 2, 1, 1), {{{0, 0, 0}, state("minecraft:dirt")}, {{1, 0, 0}, state("minecraft:stone")}}, {1, 2}, 3},
      {Boundary(0, 0, 0, 2, 2, 1), {{{0, 1, 0}, state("minecraft:dirt")}}, {0, 0, 1, 0}, 2},
      {Boundary(10, 64, -5, 1, 1, 2), {{{10, 64, -4}, state("minecraft:cave_air")}}, {0, 1}, 2},
  };
  for (const auto& c : cases) {
    auto bytes = write_sponge(c.blocks, c.box);
    ASSERT_TRUE(bytes.ok()) << bytes.message();
    auto source = source_of(*bytes);
    auto doc = parse_nbt(*source);
    ASSERT_TRUE(doc.ok());
    const Compound& schematic = *doc->tag.as<Compound>()->get("Schematic")->as<Compound>();
    EXPECT_EQ(*schematic.get("Version")->as<int32_t>(), 3);
    EXPECT_EQ(*schematic.get("DataVersion")->as<int32_t>(), default_data_version());
    // The box's minimum corner keeps its world place.
    EXPECT_EQ(*schematic.get("Offset")->as<std::vector<int32_t>>(), (std::vector<int32_t>{c.box.min_x, c.box.min_y, c.box.min_z}));
    const Compound& blocks = *schematic.get("Blocks")->as<Compound>();
    EXPECT_EQ(*blocks.get("Data")->as<std::vector<int8_t>>(), c.data);
    EXPECT_EQ(blocks.get("Palette")->as<Compound>()->size(), c.palette_size);
    EXPECT_EQ(*blocks.get("Palette")->as<Compound>()->get("minecraft:air")->as<int32_t>(), 0);
  }
  EXPECT_EQ(write_sponge({{{5, 0, 0}, state("minecraft:stone")}}, Boundary(0, 0, 0, 2, 1, 1)).message(),
            "Position out of bounds and store is not resizable");
}

TEST(SpongeWriterTest, RoundTripShiftsToTheOriginWithTwoByteIndices) {
  Boundary box(-40, 3, 7, 30, 4, 20);
  std::vector<Block> blocks;
  auto walk = box.walk(AxisOrder::XYZ);
  int i = 0;
  while (auto p = walk.next()) {
    if (++i % 3) blocks.push_back({*p, BlockState::create("minecraft:b" + std::to_string(i % 200))});
  }
  auto bytes = write_sponge(blocks, box);
  ASSERT_TRUE(bytes.ok());
  SpongeSchematicInputStream reader(source_of(*bytes));
  auto back = reader.read_to_end_into_vec();
  ASSERT_TRUE(back.ok()) << back.message();
  std::vector<Block> shifted;
  for (const auto& b : blocks) {
    shifted.push_back({{b.position.x + 40, b.position.y - 3, b.position.z - 7}, b.state});
  }
  EXPECT_EQ(describe(*back), describe(shifted));
}

TEST(SpongeCorpusTest, EveryFileReads) {
  auto files = testing::corpus_files("sponge");
  if (files.empty()) GTEST_SKIP() << "corpus folder absent";
  for (const auto& path : files) {
    auto raw = testing::gunzip(testing::read_file(path));
    ASSERT_TRUE(raw.ok()) << path;
    SpongeSchematicInputStream reader(source_of(*raw));
    auto blocks = reader.read_to_end_into_vec();
    EXPECT_TRUE(blocks.ok()) << path << ": " << blocks.message();
  }
}

}  // namespace
}  // namespace kubic
