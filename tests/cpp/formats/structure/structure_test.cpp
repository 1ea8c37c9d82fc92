#include <gtest/gtest.h>

#include <random>

#include "blocks/game_versions.h"
#include "nbt/nbt_reader.h"
#include "formats/structure/structure_reader.h"
#include "formats/structure/structure_writer.h"
#include "support/corpus.h"
#include "support/nbt_build.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using namespace kubic::testing;
using Entries = std::vector<std::pair<std::string, Tag>>;

Tag palette_entry(const char* name) { return compound(Entries{{"Name", Tag{std::string(name)}}}); }
Tag block_entry(int32_t x, int32_t y, int32_t z, int32_t state) {
  return compound(Entries{{"pos", ints(x, y, z)}, {"state", Tag{state}}});
}
Tag log_entry() {
  return compound(Entries{{"Name", Tag{std::string("minecraft:oak_log")}},
                          {"Properties", compound(Entries{{"axis", Tag{std::string("y")}}})}});
}

Tag example_palette() { return list_tag(TagType::Compound, palette_entry("minecraft:stone"), log_entry()); }
Tag example_blocks() {
  return list_tag(TagType::Compound, block_entry(0, 0, 0, 0), block_entry(1, 0, 0, 1));
}

std::vector<std::string> read_document(Tag root, std::string* error = nullptr) {
  StructureSchematicInputStream reader(source_of(encode_document(std::move(root))));
  auto blocks = reader.read_to_end_into_vec();
  if (!blocks.ok()) {
    if (error) *error = blocks.message();
    return {};
  }
  return describe(*blocks);
}

const std::vector<std::string> kExample = {"0,0,0 minecraft:stone", "1,0,0 minecraft:oak_log[axis=y]"};

TEST(StructureReaderTest, ListsInAnyOrderAndCase) {
  EXPECT_EQ(read_document(compound(Entries{{"size", ints(2, 1, 1)}, {"palette", example_palette()},
                                           {"blocks", example_blocks()}})),
            kExample);
  EXPECT_EQ(read_document(compound(Entries{{"Size", ints(2, 1, 1)}, {"BLOCKS", example_blocks()},
                                           {"PaLeTtE", example_palette()}})),
            kExample);
  // Nested anywhere, with block entities holding lists.
  Tag rich_block = compound(Entries{{"nbt", compound(Entries{{"Items", list_tag(TagType::Compound,
                                        compound(Entries{{"Slot", Tag{int8_t(1)}}}))}})},
                                    {"pos", ints(0, 0, 0)}, {"state", Tag{int32_t(0)}}});
  Tag blocks = list_tag(TagType::Compound, std::move(rich_block), block_entry(1, 0, 0, 1));
  EXPECT_EQ(read_document(compound(Entries{{"wrapper", compound(Entries{{"size", ints(2, 1, 1)},
                                            {"palette", example_palette()}, {"blocks", std::move(blocks)}})}})),
            kExample);
  StructureSchematicInputStream reader(source_of(encode_document(compound(Entries{
      {"size", ints(2, 1, 1)}, {"palette", example_palette()}, {"blocks", example_blocks()}}))));
  EXPECT_EQ(**reader.boundary(), Boundary(0, 0, 0, 2, 1, 1));
}

TEST(StructureReaderTest, HeaderMessagesByCause) {
  auto shorts = list_tag(TagType::Short, Tag{int16_t(2)}, Tag{int16_t(1)}, Tag{int16_t(1)});
  auto four = list_tag(TagType::Int, Tag{2}, Tag{1}, Tag{1}, Tag{1});
  auto no_name = list_tag(TagType::Compound, compound(Entries{{"Properties", compound({})}}));
  struct Case {
    std::string name;
    Tag root;
    std::string message;
  } cases[] = {
      {"size after blocks", compound(Entries{{"palette", example_palette()}, {"blocks", example_blocks()}, {"size", ints(2, 1, 1)}}),
       "Position out of bounds and store is not resizable"},
      {"short size", compound(Entries{{"size", std::move(shorts)}, {"palette", example_palette()}, {"blocks", list_tag(TagType::Compound)}}),
       "Mojang: Size not found in header"},
      {"four ints", compound(Entries{{"size", std::move(four)}, {"palette", example_palette()}, {"blocks", list_tag(TagType::Compound)}}),
       "Mojang: Size not found in header"},
      {"empty palettes", compound(Entries{{"size", ints(2, 1, 1)}, {"palettes", list_tag(TagType::List)}, {"blocks", example_blocks()}}),
       "Mojang: Palette not found in header"},
      {"empty palette", compound(Entries{{"size", ints(2, 1, 1)}, {"palette", list_tag(TagType::End)}, {"blocks", example_blocks()}}),
       "Mojang: Palette not found in header"},
      {"empty blocks", compound(Entries{{"size", ints(2, 1, 1)}, {"palette", example_palette()}, {"blocks", list_tag(TagType::End)}}),
       "Mojang: Blocks not found in header"},
      {"no name", compound(Entries{{"size", ints(2, 1, 1)}, {"palette", std::move(no_name)}, {"blocks", example_blocks()}}),
       "Mojang: Palette entry 0 has no 'Name'"},
      {"negative size", compound(Entries{{"size", ints(2, -1, 1)}, {"palette", example_palette()}, {"blocks", example_blocks()}}),
       "Mojang: Negative size [2, -1, 1] in header"},
  };
  for (auto& c : cases) {
    std::string error;
    read_document(std::move(c.root), &error);
    EXPECT_EQ(error, c.message) << c.name;
  }
  StructureSchematicInputStream garbage(source_of({10, 0, 0, 99}));
  EXPECT_EQ(garbage.boundary().message(), "NBT Stream Error: invalid tag type 99 at byte 4");
  std::vector<uint8_t> cut = encode_document(compound(Entries{{"size", ints(2, 1, 1)}, {"palette", example_palette()}}));
  StructureSchematicInputStream truncated(source_of(std::vector<uint8_t>(cut.begin(), cut.begin() + 45)));
  EXPECT_EQ(truncated.boundary().message(), "unexpected end of NBT data at byte 45");
  // A document cut between or inside top-level tags is no complete file.
  for (size_t length : {size_t(5), cut.size() - 1}) {
    StructureSchematicInputStream top_cut(source_of(std::vector<uint8_t>(cut.begin(), cut.begin() + long(length))));
    EXPECT_EQ(top_cut.boundary().message(),
              "NBT Stream Error: unexpected end of NBT data at byte " + std::to_string(length));
  }
}

TEST(StructureReaderTest, EveryEntryListMovesTheRunningPosition) {
  // Only lists directly inside an entry count; a list without a "state"
  // still moves the position that a later list-less entry takes.
  Tag mover = compound(Entries{{"pos", ints(1, 0, 1)}});
  Tag nested = compound(Entries{{"nbt", compound(Entries{{"at", ints(0, 0, 0)}})}, {"state", Tag{int32_t(1)}}});
  Tag blocks = list_tag(TagType::Compound, block_entry(0, 0, 0, 0), std::move(mover), std::move(nested));
  EXPECT_EQ(read_document(compound(Entries{{"size", ints(2, 1, 2)}, {"palette", example_palette()}, {"blocks", std::move(blocks)}})),
            (std::vector<std::string>{"0,0,0 minecraft:stone", "1,0,1 minecraft:oak_log[axis=y]"}));
}

TEST(StructureReaderTest, TruncatedDocumentsFailWhereverTheyEnd) {
  Tag entities = list_tag(TagType::Compound, compound(Entries{{"pos", list_tag(TagType::Double, Tag{0.5}, Tag{0.5}, Tag{0.5})}}));
  auto doc = encode_document(compound(Entries{{"size", ints(2, 1, 1)}, {"palette", example_palette()},
                                              {"blocks", example_blocks()}, {"entities", std::move(entities)},
                                              {"DataVersion", Tag{int32_t(3465)}}}));
  for (size_t cut = doc.size() - 40; cut < doc.size(); ++cut) {
    StructureSchematicInputStream reader(source_of(std::vector<uint8_t>(doc.begin(), doc.begin() + long(cut))));
    EXPECT_EQ(reader.boundary().message(), "NBT Stream Error: unexpected end of NBT data at byte " + std::to_string(cut));
  }
}

TEST(StructureReaderTest, TheFirstOfSeveralPalettesWithoutAPalette) {
  Tag variant = list_tag(TagType::Compound, palette_entry("minecraft:mossy_cobblestone"), palette_entry("minecraft:dirt"));
  auto palettes = [&] { return list_tag(TagType::List, example_palette(), Tag(variant)); };
  EXPECT_EQ(read_document(compound(Entries{{"size", ints(2, 1, 1)}, {"palettes", palettes()}, {"blocks", example_blocks()}})),
            kExample);
  // "palette" wins wherever it stands.
  for (bool palette_first : {false, true}) {
    Entries entries{{"size", ints(2, 1, 1)}, {"palettes", palettes()}, {"blocks", example_blocks()}};
    entries.insert(palette_first ? entries.begin() + 1 : entries.end(), {"palette", Tag(variant)});
    EXPECT_EQ(read_document(compound(std::move(entries))),
              (std::vector<std::string>{"0,0,0 minecraft:mossy_cobblestone", "1,0,0 minecraft:dirt"}));
  }
}

TEST(StructureReaderTest, ReadSemantics) {
  // A "state" before its "pos" goes with its own entry's position; an
  // entry without a position takes the previous entry's.
  Tag swapped = compound(Entries{{"state", Tag{int32_t(1)}}, {"pos", ints(1, 0, 0)}});
  Tag positionless = compound(Entries{{"state", Tag{int32_t(0)}}});
  Tag blocks = list_tag(TagType::Compound, block_entry(0, 0, 1, 0), std::move(swapped), std::move(positionless));
  EXPECT_EQ(read_document(compound(Entries{{"size", ints(2, 1, 2)}, {"palette", example_palette()}, {"blocks", std::move(blocks)}})),
            (std::vector<std::string>{"0,0,1 minecraft:stone", "1,0,0 minecraft:stone"}));

  auto doc = encode_document(compound(Entries{{"size", ints(2, 1, 1)}, {"palette", example_palette()}, {"blocks", example_blocks()}}));
  StructureSchematicInputStream reader(source_of(doc));
  std::vector<Block> out;
  EXPECT_FALSE(reader.read(out, 0)->has_more);
  auto first = reader.read(out, 1);
  EXPECT_TRUE(first->has_more);
  EXPECT_EQ(first->count, 1u);
  auto second = reader.read(out, 5);
  EXPECT_TRUE(second->has_more);
  EXPECT_EQ(second->count, 1u);
  EXPECT_FALSE(reader.read(out, 5)->has_more);

  StructureSchematicInputStream flat(source_of(encode_document(compound(Entries{
      {"size", ints(0, 5, 5)}, {"palette", example_palette()}, {"blocks", list_tag(TagType::Compound)}}))));
  EXPECT_FALSE(flat.boundary()->has_value());
  EXPECT_FALSE(flat.read(out, 5)->has_more);

  // Blocks without a palette: the header fails, and a later read fails
  // on the missing palette instead of touching it.
  StructureSchematicInputStream no_palette(source_of(encode_document(compound(Entries{
      {"size", ints(2, 1, 1)}, {"blocks", example_blocks()}}))));
  EXPECT_EQ(no_palette.read(out, 5).message(), "Mojang: Palette not found in header");
  EXPECT_EQ(no_palette.read(out, 5).message(), "Can not access blocks if palette is not provided");

  // A palette never installed fails the first read even where no block is stored.
  StructureSchematicInputStream empty_store(source_of(encode_document(compound(Entries{
      {"size", ints(2, 1, 1)}, {"blocks", list_tag(TagType::Compound, compound(Entries{{"pos", ints(0, 0, 0)}}))}}))));
  EXPECT_EQ(empty_store.read(out, 5).message(), "Mojang: Palette not found in header");
  EXPECT_EQ(empty_store.read(out, 5).message(), "Can not access blocks if palette is not provided");

  // Blocks stored before a later fault stay readable, whichever way the
  // palette came.
  for (const char* name : {"palette", "palettes"}) {
    Tag palette = std::string(name) == "palette" ? example_palette() : list_tag(TagType::List, example_palette());
    auto doc = encode_document(compound(Entries{{"size", ints(2, 1, 1)}, {name, std::move(palette)},
                                                {"blocks", example_blocks()}, {"entities", Tag{int32_t(0)}}}));
    StructureSchematicInputStream cut(source_of(std::vector<uint8_t>(doc.begin(), doc.end() - 2)));
    EXPECT_EQ(cut.read(out, 5).message().rfind("NBT Stream Error: ", 0), 0u) << name;
    auto rest = cut.read(out, 5);
    EXPECT_TRUE(rest.ok()) << name << ": " << rest.message();
  }

  // After a header failure the next read does not repeat it.
  StructureSchematicInputStream failed(source_of(encode_document(compound(Entries{{"size", ints(1, 1, 1)}}))));
  EXPECT_EQ(failed.read(out, 5).message(), "Mojang: Palette not found in header");
  EXPECT_FALSE(failed.read(out, 5).message() == "Mojang: Palette not found in header");
}

std::vector<uint8_t> write_structure(const std::vector<Block>& blocks) {
  auto out = std::make_shared<std::vector<uint8_t>>();
  StructureSchematicOutputStream writer(std::make_unique<MemorySink>(out));
  EXPECT_TRUE(writer.write(blocks).ok());
  EXPECT_TRUE(writer.complete().ok());
  return *out;
}

TEST(StructureWriterTest, DocumentShapes) {
  auto doc_of = [](const std::vector<Block>& blocks) {
    auto bytes = write_structure(blocks);
    auto source = source_of(bytes);
    return std::move(*parse_nbt(*source));
  };
  auto lone = doc_of({{{2, 0, 0}, state("minecraft:stone")}});
  const Compound& root = *lone.tag.as<Compound>();
  EXPECT_EQ(*root.get("DataVersion")->as<int32_t>(), default_data_version());
  const auto& size = root.get("size")->as<ListTag>()->items;
  EXPECT_EQ(*size[0].as<int32_t>(), 3);
  const auto& palette = root.get("palette")->as<ListTag>()->items;
  ASSERT_EQ(palette.size(), 2u);
  EXPECT_EQ(*palette[1].as<Compound>()->get("Name")->as<std::string>(), "minecraft:air");
  EXPECT_EQ(palette[0].as<Compound>()->get("Properties"), nullptr);
  const auto& blocks = root.get("blocks")->as<ListTag>()->items;
  std::vector<int32_t> states;
  for (const auto& b : blocks) states.push_back(*b.as<Compound>()->get("state")->as<int32_t>());
  EXPECT_EQ(states, (std::vector<int32_t>{1, 1, 0}));

  auto air_first = doc_of({{{0, 0, 0}, state("minecraft:air")}, {{0, 0, 1}, state("minecraft:oak_log[axis=y]")}});
  const auto& p2 = air_first.tag.as<Compound>()->get("palette")->as<ListTag>()->items;
  EXPECT_EQ(p2.size(), 2u);
  EXPECT_EQ(*p2[1].as<Compound>()->get("Properties")->as<Compound>()->get("axis")->as<std::string>(), "y");

  auto empty = doc_of({});
  EXPECT_EQ(empty.tag.as<Compound>()->get("blocks")->as<ListTag>()->items.size(), 0u);
  EXPECT_EQ(empty.tag.as<Compound>()->get("palette")->as<ListTag>()->items.size(), 1u);
}

TEST(StructureWriterTest, RoundTripKeepsCoordinatesAndLastBlockWins) {
  std::vector<Block> blocks = {{{0, 0, 0}, state("minecraft:stone")}, {{0, 0, 1}, state("minecraft:dirt")},
                               {{1, 0, 0}, state("minecraft:stone")}, {{1, 0, 0}, state("minecraft:dirt")},
                               {{3, 2, 1}, state("minecraft:cave_air")}};
  StructureSchematicInputStream reader(source_of(write_structure(blocks)));
  EXPECT_EQ(describe(*reader.read_to_end_into_vec()),
            (std::vector<std::string>{"0,0,0 minecraft:stone", "0,0,1 minecraft:dirt", "1,0,0 minecraft:dirt"}));
  EXPECT_EQ(**reader.boundary(), Boundary(0, 0, 0, 4, 3, 2));
}

// What a reader makes of a document: its blocks and block entities, or its error.
std::string outcome_of(const std::vector<uint8_t>& bytes, bool whole_entries) {
  StructureSchematicInputStream reader(source_of(bytes));
  if (!whole_entries) reader.read_entries_by_events();
  reader.keep_listed_air();
  auto blocks = reader.read_to_end_into_vec();
  if (!blocks.ok()) return "error: " + blocks.message();
  std::string out;
  for (const std::string& block : describe(*blocks)) out += block + ";";
  auto extras = reader.extras();
  if (!extras.ok()) return out + "extras error: " + extras.message();
  for (const BlockEntity& entity : extras->block_entities) out += "be " + entity.position.debug_string() + ";";
  return out;
}

// A block list of entries in every shape a file may hold: the usual two
// tags in either order, with "nbt", without "state", with extra tags, with
// position lists of other lengths.
Tag random_blocks(std::mt19937& rng) {
  ListTag list{TagType::Compound, {}};
  const int count = int(rng() % 40);
  for (int i = 0; i < count; ++i) {
    Entries entry;
    const int x = int(rng() % 4), y = int(rng() % 3), z = int(rng() % 4), state = int(rng() % 3);
    const unsigned shape = rng() % 8;
    Tag pos = shape == 6 ? list_tag(TagType::Int, Tag{x}, Tag{y}) : ints(x, y, z);
    if (shape == 1) {
      entry = {{"state", Tag{state}}, {"pos", pos}};
    } else {
      entry = {{"pos", pos}};
      if (shape != 3) entry.push_back({"state", Tag{state}});
    }
    if (shape == 2) entry.push_back({"nbt", compound(Entries{{"id", Tag{std::string("minecraft:chest")}}})});
    if (shape == 4) entry.push_back({"extra", Tag{int32_t(7)}});
    if (shape == 5) entry.insert(entry.begin(), {"note", Tag{std::string("x")}});
    list.items.push_back(compound(std::move(entry)));
  }
  return Tag{std::move(list)};
}

TEST(StructureReaderTest, WholeEntriesReadAsTheEventWalkDoesOnMutatedLists) {
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    Tag palette = list_tag(TagType::Compound, palette_entry("minecraft:stone"), log_entry(),
                           palette_entry("minecraft:air"));
    auto bytes = encode_document(compound(Entries{{"size", ints(4, 3, 4)}, {"palette", std::move(palette)},
                                                  {"blocks", random_blocks(rng)}}));
    // Two rounds in three are damaged: bytes changed, or the end cut off.
    if (round % 3 == 1) {
      for (int flips = 0; flips < 3; ++flips) bytes[rng() % bytes.size()] ^= uint8_t(1u << (rng() % 8));
    } else if (round % 3 == 2) {
      bytes.resize(rng() % bytes.size());
    }
    ASSERT_EQ(outcome_of(bytes, true), outcome_of(bytes, false)) << "round " << round;
  }
}

TEST(StructureCorpusTest, EveryFileReads) {
  auto files = corpus_files("structure");
  if (files.empty()) GTEST_SKIP() << "corpus folder absent";
  for (const auto& path : files) {
    auto raw = gunzip(read_file(path));
    ASSERT_TRUE(raw.ok()) << path;
    StructureSchematicInputStream reader(source_of(*raw));
    auto blocks = reader.read_to_end_into_vec();
    EXPECT_TRUE(blocks.ok()) << path << ": " << blocks.message();
  }
}

}  // namespace
}  // namespace kubic
