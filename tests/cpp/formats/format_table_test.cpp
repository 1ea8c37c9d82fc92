#include "formats/format_table.h"

#include <gtest/gtest.h>

#include <set>

#include "formats/any_reader.h"
#include "io/memory_stream.h"
#include "support/nbt_build.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using namespace kubic::testing;

TEST(FormatTableTest, NamesAliasesAndExtensionsFindTheirFormatInAnyCase) {
  const struct {
    std::string_view asked;
    SchematicFormat expected;
  } cases[] = {
      {"kub", SchematicFormat::Kub},          {"SPONGE", SchematicFormat::Sponge},
      {"schem", SchematicFormat::Sponge},     {"structure", SchematicFormat::Structure},
      {"Mojang", SchematicFormat::Structure}, {"nbt", SchematicFormat::Structure},
      {"litematic", SchematicFormat::Litematica}, {"schematic", SchematicFormat::MCEdit},
  };
  for (const auto& c : cases) {
    const FormatEntry* found = find_format(c.asked);
    ASSERT_NE(found, nullptr) << c.asked;
    EXPECT_EQ(found->id, c.expected) << c.asked;
  }
  EXPECT_EQ(find_format("auto"), nullptr);
  EXPECT_EQ(find_format(""), nullptr);
  EXPECT_EQ(format_for_path("builds/House.LITEMATIC")->id, SchematicFormat::Litematica);
  EXPECT_EQ(format_for_path("a.schematic")->id, SchematicFormat::MCEdit);
  EXPECT_EQ(format_for_path("a.schem")->id, SchematicFormat::Sponge);
  EXPECT_EQ(format_for_path("nbt"), nullptr);
  EXPECT_EQ(find_stream_type("mojang")->id, SchematicFormat::Structure);
  EXPECT_EQ(find_stream_type("MCEDIT"), nullptr);  // kubic_rs cannot name it
}

TEST(FormatTableTest, EveryNameAliasAndExtensionIsUniqueAndEveryRowComplete) {
  std::set<std::string_view> names, extensions;
  std::set<int> ranks;
  for (const FormatEntry& entry : format_table()) {
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
    for (auto alias : entry.aliases) EXPECT_TRUE(names.insert(alias).second) << alias;
    for (auto extension : entry.extensions) EXPECT_TRUE(extensions.insert(extension).second) << extension;
    EXPECT_FALSE(entry.extensions.empty()) << entry.name;
    EXPECT_TRUE(ranks.insert(entry.detection_rank).second) << entry.name;
    EXPECT_NE(entry.make_reader, nullptr) << entry.name;
    EXPECT_EQ(&format_entry(entry.id), &entry);
  }
  EXPECT_FALSE(format_entry(SchematicFormat::MCEdit).writable());
}

TEST(FormatTableTest, EveryWritableFormatReadsBackWhatItsWriterWrote) {
  const Boundary box(0, 0, 0, 2, 1, 1);
  const std::vector<Block> blocks = {{{0, 0, 0}, state("minecraft:stone")}, {{1, 0, 0}, state("minecraft:dirt")}};
  for (const FormatEntry& entry : format_table()) {
    if (!entry.writable()) continue;
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    {
      auto writer = entry.make_writer(std::make_unique<MemorySink>(bytes), box, {});
      ASSERT_TRUE(writer->write(blocks).ok()) << entry.name;
      ASSERT_TRUE(writer->complete().ok()) << entry.name;
    }
    // Writers give the document; kub is gzip only, so it goes in gzipped.
    auto raw = entry.gzip_only ? gzip(*bytes) : *bytes;
    auto named = open_reader(&entry, source_of(raw))->read_to_end_into_vec();
    auto detected = open_reader(nullptr, source_of(raw))->read_to_end_into_vec();
    ASSERT_TRUE(named.ok()) << entry.name << ": " << named.message();
    ASSERT_TRUE(detected.ok()) << entry.name << ": " << detected.message();
    EXPECT_EQ(describe(*named), describe(blocks)) << entry.name;
    EXPECT_EQ(describe(*detected), describe(blocks)) << entry.name;
  }
}

TEST(DetectionErrorTest, KindsAndTheCauseOfTheReaderThatRecognisedTheInput) {
  // A structure document cut inside its block list: only the structure
  // reader takes it for its own, and its failure is the cause.
  std::vector<uint8_t> cut = encode_document(compound({
      {"size", ints(1, 1, 1)},
      {"palette", list_tag(TagType::Compound, compound({{"Name", Tag{std::string("minecraft:stone")}}}))},
      {"blocks", list_tag(TagType::Compound, compound({{"pos", ints(0, 0, 0)}, {"state", Tag{int32_t(0)}}}),
                          compound({{"pos", ints(0, 0, 0)}, {"state", Tag{int32_t(0)}}}))},
  }));
  cut.resize(cut.size() - 20);
  auto failed = open_reader(nullptr, source_of(cut))->read_to_end_into_vec();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.message(), "No matching format found");
  EXPECT_EQ(failed.status().kind(), ErrorKind::Unrecognised);
  ASSERT_NE(failed.status().cause(), nullptr);
  EXPECT_EQ(failed.status().cause()->kind(), ErrorKind::Corrupt);
  EXPECT_TRUE(failed.status().cause()->message().starts_with("unexpected end of NBT data at byte "))
      << failed.status().cause()->message();

  // Bytes no format takes: no cause.
  auto nothing = open_reader(nullptr, source_of(std::vector<uint8_t>(100, 0x42)))->read_to_end_into_vec();
  ASSERT_FALSE(nothing.ok());
  EXPECT_EQ(nothing.status().kind(), ErrorKind::Unrecognised);
  EXPECT_EQ(nothing.status().cause(), nullptr);
}

TEST(DetectionErrorTest, ForeignRootTagsEndALitematicaReadWhateverItsName) {
  auto sponge_like = encode_document(compound({{"Width", Tag{int16_t(1)}}, {"Regions", compound({})}}));
  auto failed = open_reader(&format_entry(SchematicFormat::Litematica), source_of(sponge_like))->boundary();
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.message(), "Litematica: Not a Litematica file: it has a root tag 'Width'");
}

}  // namespace
}  // namespace kubic
