#include "schematic/conversion.h"

#include <gtest/gtest.h>

#include "io/memory_stream.h"
#include <random>

#include "formats/kub/kub_reader.h"
#include "formats/litematica/litematica_reader.h"
#include "formats/mcedit/mcedit_reader.h"
#include "formats/structure/structure_reader.h"
#include "formats/sponge/sponge_reader.h"
#include "formats/sponge/sponge_writer.h"
#include "formats/kub/kub_writer.h"
#include "formats/litematica/litematica_writer.h"
#include "support/nbt_build.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using namespace kubic::testing;
using Entries = std::vector<std::pair<std::string, Tag>>;

Tag doubles(double x, double y, double z) { return list_tag(TagType::Double, Tag{x}, Tag{y}, Tag{z}); }

std::unique_ptr<SchematicInputStream> reader_of(SchematicFormat format, std::vector<uint8_t> bytes) {
  return format_entry(format).make_reader(source_of(std::move(bytes)), {});
}

std::vector<uint8_t> converted(SchematicInputStream& input, SchematicFormat format, ConversionOptions options = {}) {
  auto out = std::make_shared<std::vector<uint8_t>>();
  Status status = convert_schematic(input, format, std::make_unique<MemorySink>(out), options);
  EXPECT_TRUE(status.ok()) << status.message();
  return *out;
}

// A structure of 3x1x1 listing a chest with its contents at x 0, air at
// x 1 and nothing at x 2 (a void), with a villager and an author.
std::vector<uint8_t> sample_structure() {
  Tag chest = compound(Entries{{"id", Tag{std::string("minecraft:chest")}},
                               {"Items", list_tag(TagType::Compound, compound(Entries{{"Slot", Tag{int8_t(3)}},
                                                                                     {"Count", Tag{int8_t(2)}}}))}});
  Tag blocks = list_tag(TagType::Compound,
                        compound(Entries{{"pos", ints(0, 0, 0)}, {"state", Tag{int32_t(0)}}, {"nbt", std::move(chest)}}),
                        compound(Entries{{"pos", ints(1, 0, 0)}, {"state", Tag{int32_t(1)}}}));
  Tag villager = compound(Entries{{"pos", doubles(1.5, 0, 0.5)}, {"blockPos", ints(1, 0, 0)},
                                  {"nbt", compound(Entries{{"id", Tag{std::string("minecraft:villager")}},
                                                           {"Pos", doubles(101.5, 64, 7.5)},
                                                           {"Health", Tag{float(20)}}})}});
  Tag palette = list_tag(TagType::Compound, compound(Entries{{"Name", Tag{std::string("minecraft:chest")}}}),
                         compound(Entries{{"Name", Tag{std::string("minecraft:air")}}}));
  return encode_document(compound(Entries{{"size", ints(3, 1, 1)}, {"palette", std::move(palette)},
                                          {"blocks", std::move(blocks)},
                                          {"entities", list_tag(TagType::Compound, std::move(villager))},
                                          {"DataVersion", Tag{int32_t(1343)}},
                                          {"author", Tag{std::string("Notch")}}}));
}

TEST(ConversionTest, ExtrasAndVoidsSurviveEveryFormat) {
  for (auto middle : {SchematicFormat::Kub, SchematicFormat::Sponge, SchematicFormat::Structure}) {
    StructureSchematicInputStream source(source_of(sample_structure()));
    auto step = converted(source, middle);
    auto back_reader = reader_of(middle, step);
    auto back = converted(*back_reader, SchematicFormat::Structure);
    StructureSchematicInputStream final_reader(source_of(back));
    final_reader.keep_listed_air();
    auto blocks = final_reader.read_to_end_into_vec();
    ASSERT_TRUE(blocks.ok()) << blocks.message();
    // The void stays unlisted, the listed air stays listed.
    EXPECT_EQ(describe(*blocks), (std::vector<std::string>{"0,0,0 minecraft:chest", "1,0,0 minecraft:air"}));
    auto extras = final_reader.extras();
    ASSERT_TRUE(extras.ok());
    ASSERT_EQ(extras->block_entities.size(), 1u);
    EXPECT_EQ(extras->block_entities[0].position, (BlockPosition{0, 0, 0}));
    const Tag* items = extras->block_entities[0].data.get("Items");
    ASSERT_TRUE(items && items->as<ListTag>());
    EXPECT_EQ(*items->as<ListTag>()->items[0].as<Compound>()->get("Count")->as<int8_t>(), 2);
    ASSERT_EQ(extras->entities.size(), 1u);
    EXPECT_EQ(extras->entities[0].coordinates(), (std::array<double, 3>{1.5, 0, 0.5}));
    EXPECT_EQ(*extras->entities[0].data.get("Health")->as<float>(), 20.0f);
    EXPECT_EQ(extras->data_version, 1343);
    EXPECT_EQ(*extras->metadata.get("Author")->as<std::string>(), "Notch");
    EXPECT_EQ(**final_reader.boundary(), Boundary(0, 0, 0, 3, 1, 1));
  }
}

// A Sponge version 3 file at Offset (100, 60, -20) with a sign and an
// armor stand, positions relative to its box.
std::vector<uint8_t> sample_sponge() {
  Tag sign = compound(Entries{{"Pos", Tag{std::vector<int32_t>{1, 0, 0}}}, {"Id", Tag{std::string("minecraft:sign")}},
                              {"Data", compound(Entries{{"Text1", Tag{std::string("hi")}}})}});
  Tag stand = compound(Entries{{"Pos", doubles(0.5, 1, 0.5)}, {"Id", Tag{std::string("minecraft:armor_stand")}},
                               {"Data", compound(Entries{{"TileX", Tag{int32_t(0)}}})}});
  Compound palette;
  palette.put("minecraft:air", Tag{int32_t(0)});
  palette.put("minecraft:stone", Tag{int32_t(1)});
  palette.put("minecraft:oak_sign[rotation=0]", Tag{int32_t(2)});
  Tag blocks = compound(Entries{{"Palette", Tag{std::move(palette)}}, {"Data", Tag{std::vector<int8_t>{1, 2, 0, 0}}},
                                {"BlockEntities", list_tag(TagType::Compound, std::move(sign))}});
  Tag schematic = compound(Entries{{"Version", Tag{int32_t(3)}}, {"DataVersion", Tag{int32_t(3465)}},
                                   {"Width", Tag{int16_t(2)}}, {"Height", Tag{int16_t(2)}}, {"Length", Tag{int16_t(1)}},
                                   {"Offset", Tag{std::vector<int32_t>{100, 60, -20}}},
                                   {"Metadata", compound(Entries{{"Name", Tag{std::string("gate")}}})},
                                   {"Blocks", std::move(blocks)},
                                   {"Entities", list_tag(TagType::Compound, std::move(stand))}});
  return encode_document(compound(Entries{{"Schematic", std::move(schematic)}}));
}

TEST(ConversionTest, SpongeOffsetIsTheWorldPlace) {
  for (int version : {2, 3}) {
    SpongeSchematicInputStream source(source_of(sample_sponge()));
    auto kub = converted(source, SchematicFormat::Kub);
    KUBSchematicInputStream kub_reader(source_of(kub));
    EXPECT_EQ(**kub_reader.boundary(), Boundary(100, 60, -20, 2, 2, 1));
    auto blocks = kub_reader.read_to_end_into_vec();
    EXPECT_EQ(describe(*blocks), (std::vector<std::string>{"100,60,-20 minecraft:stone", "101,60,-20 minecraft:oak_sign[rotation=0]"}));
    KUBSchematicInputStream again(source_of(kub));
    auto sponge = converted(again, SchematicFormat::Sponge, {version, std::nullopt});
    SpongeSchematicInputStream back(source_of(sponge));
    auto extras = back.extras();
    ASSERT_TRUE(extras.ok()) << extras.message();
    EXPECT_EQ(extras->origin, (BlockPosition{100, 60, -20}));
    EXPECT_EQ(extras->data_version, 3465);
    EXPECT_EQ(*extras->metadata.get("Name")->as<std::string>(), "gate");
    ASSERT_EQ(extras->block_entities.size(), 1u);
    EXPECT_EQ(extras->block_entities[0].position, (BlockPosition{1, 0, 0}));
    EXPECT_EQ(*extras->block_entities[0].data.get("Text1")->as<std::string>(), "hi");
    EXPECT_EQ(*extras->block_entities[0].data.get("id")->as<std::string>(), "minecraft:sign");
    ASSERT_EQ(extras->entities.size(), 1u);
    // Version 2 stores it in world coordinates, as WorldEdit does; either
    // way it reads back in the box's frame, its TileX moved alike.
    EXPECT_EQ(extras->entities[0].coordinates(), (std::array<double, 3>{0.5, 1, 0.5})) << version;
    EXPECT_EQ(*extras->entities[0].data.get("TileX")->as<int32_t>(), 0) << version;
  }
}

TEST(ConversionTest, KubWithoutExtrasStaysVersionOne) {
  // Version 2 without a DataVersion: nothing but blocks (version 1 would
  // say 1.13.2).
  SpongeSchematicInputStream plain(source_of(encode_document(compound(Entries{
      {"Version", Tag{int32_t(2)}}, {"Width", Tag{int16_t(1)}}, {"Height", Tag{int16_t(1)}}, {"Length", Tag{int16_t(1)}},
      {"Palette", compound(Entries{{"minecraft:stone", Tag{int32_t(0)}}})}, {"BlockData", Tag{std::vector<int8_t>{0}}}}))));
  auto kub = converted(plain, SchematicFormat::Kub);
  EXPECT_EQ(kub[7], 1);  // the version byte after the seven magic bytes
}

TEST(ConversionTest, MalformedExtrasFailWithTheirFormatsMessages) {
  auto sponge_with = [](Tag entities) {
    return encode_document(compound(Entries{{"Width", Tag{int16_t(1)}}, {"Height", Tag{int16_t(1)}},
                                            {"Length", Tag{int16_t(1)}}, {"Palette", compound(Entries{})},
                                            {"BlockData", Tag{std::vector<int8_t>{}}}, {"Version", Tag{int32_t(2)}},
                                            {"BlockEntities", std::move(entities)}}));
  };
  struct Case {
    std::string name;
    std::unique_ptr<SchematicInputStream> reader;
    std::string message;
  };
  std::vector<Case> cases;
  cases.push_back({"sponge no pos", std::make_unique<SpongeSchematicInputStream>(source_of(sponge_with(
                       list_tag(TagType::Compound, compound(Entries{{"Id", Tag{std::string("minecraft:chest")}}}))))),
                   "Sponge: Block entity 0 has no 'Pos' of three Ints"});
  cases.push_back({"sponge not a list", std::make_unique<SpongeSchematicInputStream>(source_of(sponge_with(Tag{int32_t(3)}))),
                   "Sponge: 'BlockEntities' is not a list of compounds"});
  cases.push_back({"structure entity", std::make_unique<StructureSchematicInputStream>(source_of(encode_document(compound(Entries{
                       {"size", ints(1, 1, 1)}, {"palette", list_tag(TagType::Compound, compound(Entries{{"Name", Tag{std::string("minecraft:stone")}}}))},
                       {"blocks", list_tag(TagType::Compound, compound(Entries{{"pos", ints(0, 0, 0)}, {"state", Tag{int32_t(0)}}}))},
                       {"entities", list_tag(TagType::Compound, compound(Entries{{"pos", ints(0, 0, 0)}}))}})))),
                   "Mojang: Entity 0 has no 'pos' of three Doubles"});
  cases.push_back({"mcedit tile", std::make_unique<MCEditSchematicInputStream>(source_of(encode_document(compound(Entries{
                       {"Width", Tag{int16_t(1)}}, {"Height", Tag{int16_t(1)}}, {"Length", Tag{int16_t(1)}},
                       {"Blocks", Tag{std::vector<int8_t>{1}}}, {"Data", Tag{std::vector<int8_t>{0}}},
                       {"TileEntities", list_tag(TagType::Compound, compound(Entries{{"x", Tag{int32_t(0)}}}))}})))),
                   "MCEdit: Tile entity 0 has no Int x, y and z"});
  for (auto& c : cases) {
    auto blocks = c.reader->read_to_end_into_vec();
    EXPECT_TRUE(blocks.ok()) << c.name << ": blocks read whatever the extras";
    EXPECT_EQ(c.reader->extras().message(), c.message) << c.name;
  }
}

// Hands out only what a reader reads block by block, so that a conversion
// takes its slowest road.
class BlockByBlock final : public SchematicInputStream {
 public:
  explicit BlockByBlock(std::unique_ptr<SchematicInputStream> inner) : inner_(std::move(inner)) {}
  Result<ReadOutcome> read(std::vector<Block>& out, size_t max) override { return inner_->read(out, max); }
  Result<std::optional<Boundary>> boundary() override { return inner_->boundary(); }
  Result<SchematicExtras> extras() override { return inner_->extras(); }
  void keep_listed_air() override { inner_->keep_listed_air(); }

 private:
  std::unique_ptr<SchematicInputStream> inner_;
};

// Random blocks over a box in runs: 200 states (two-byte Sponge indices),
// cave air and gaps; in YXZ order, as the kub writer below takes them.
std::vector<Block> random_blocks(const Boundary& box) {
  std::mt19937 rng(7);
  std::vector<Block> blocks;
  auto walk = box.walk(AxisOrder::YXZ);
  StateRef run;
  while (auto p = walk.next()) {
    if (rng() % 5 == 0) {
      const int pick = int(rng() % 202);
      run = pick == 200   ? state("minecraft:cave_air")
            : pick == 201 ? StateRef()
                          : state("minecraft:block_" + std::to_string(pick) + "[lit=true]");
    }
    if (run) blocks.push_back({*p, run});
  }
  return blocks;
}

std::vector<uint8_t> written(SchematicFormat format, const Boundary& box, const std::vector<Block>& blocks) {
  auto out = std::make_shared<std::vector<uint8_t>>();
  std::unique_ptr<SchematicOutputStream> writer =
      format == SchematicFormat::Kub
          ? std::make_unique<KUBSchematicOutputStream>(std::make_unique<MemorySink>(out), AxisOrder::YXZ, box)
          : format_entry(format).make_writer(std::make_unique<MemorySink>(out), box, {});
  // A date of its own: writers date undated schematics with the clock.
  SchematicExtras extras;
  extras.metadata.put("Date", Tag{int64_t(1700000000000)});
  Status status = writer->set_extras(std::move(extras));
  if (status.ok()) status = writer->write(blocks);
  if (status.ok()) status = writer->complete();
  EXPECT_TRUE(status.ok()) << status.message();
  return *out;
}

TEST(ConversionTest, ArrayRoadWritesWhatTheBlockRoadWrites) {
  const Boundary box(0, 0, 0, 13, 7, 11);
  const auto blocks = random_blocks(box);
  for (auto from : {SchematicFormat::Kub, SchematicFormat::Sponge, SchematicFormat::Litematica}) {
    const auto bytes = written(from, box, blocks);
    for (auto to : {SchematicFormat::Sponge, SchematicFormat::Litematica}) {
      auto reader = reader_of(from, bytes);
      ASSERT_TRUE(reader->reads_dense());
      BlockByBlock slow(reader_of(from, bytes));
      EXPECT_EQ(converted(*reader, to), converted(slow, to)) << int(from) << " to " << int(to);
      EXPECT_FALSE(reader->reads_dense());
    }
  }
}

}  // namespace
}  // namespace kubic
