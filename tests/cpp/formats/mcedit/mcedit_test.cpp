#include <gtest/gtest.h>

#include "formats/mcedit/mcedit_reader.h"
#include "support/corpus.h"
#include "support/nbt_build.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using namespace kubic::testing;
using Entries = std::vector<std::pair<std::string, Tag>>;
using Bytes8 = std::vector<int8_t>;

Tag schematic(int16_t w, int16_t h, int16_t l, Bytes8 blocks, Bytes8 data, Entries extra = {}) {
  Entries entries = {{"Width", Tag{w}}, {"Height", Tag{h}}, {"Length", Tag{l}},
                     {"Blocks", Tag{std::move(blocks)}}, {"Data", Tag{std::move(data)}}};
  for (auto& e : extra) entries.push_back(std::move(e));
  return compound(std::move(entries));
}

// MCEdit-Unified's form: sizes as Int; `cells` stone blocks.
Tag with_int_sizes(int32_t w, int32_t h, int32_t l, size_t cells) {
  return compound(Entries{{"Width", Tag{w}}, {"Height", Tag{h}}, {"Length", Tag{l}},
                          {"Blocks", Tag{Bytes8(cells, 1)}}, {"Data", Tag{Bytes8(cells, 0)}}});
}

struct Outcome {
  std::vector<std::string> blocks;
  std::string error;
  std::string stdout_text;
};

Outcome read_mcedit(Tag root) {
  MCEditSchematicInputStream reader(source_of(encode_document(std::move(root))));
  ::testing::internal::CaptureStdout();
  auto blocks = reader.read_to_end_into_vec();
  Outcome outcome;
  outcome.stdout_text = ::testing::internal::GetCapturedStdout();
  if (blocks.ok()) {
    outcome.blocks = describe(*blocks);
  } else {
    outcome.error = blocks.message();
  }
  return outcome;
}

TEST(MCEditReaderTest, DocumentedExamples) {
  EXPECT_EQ(read_mcedit(schematic(2, 1, 2, {1, 0, 0, 1}, {0, 5, 0, 0})).blocks,
            (std::vector<std::string>{"0,0,0 minecraft:stone", "1,0,1 minecraft:stone"}));
  // AddBlocks 0x21: position 0 (even) takes the high nibble, 0x200 + its
  // byte; position 1 (odd) the low nibble, 0x100 + its byte.
  Bytes8 add = {0x21, 0x0F};
  EXPECT_EQ(read_block_id({5, 7}, 0, &add), 0x205u);
  EXPECT_EQ(read_block_id({5, 7}, 1, &add), 0x107u);
  EXPECT_EQ(read_block_id({5, 7, 9, 1}, 2, &add), 9u);
  EXPECT_EQ(read_block_id({5, 7, 9, 1}, 3, &add), 0xF01u);
  EXPECT_EQ(read_block_id({5, 7, 9, 1, 4}, 4, &add), 4u);  // beyond a short AddBlocks
  // BlockIds mapping wins whatever the data value; non-decimal values skipped.
  Tag ids = compound(Entries{{"minecraft:granite", Tag{std::string("1")}},
                             {"minecraft:dirt", Tag{std::string("x3")}},
                             {"minecraft:sand", Tag{int32_t(3)}}});
  EXPECT_EQ(read_mcedit(schematic(3, 1, 1, {1, 3, 0}, {7, 0, 0}, Entries{{"BlockIds", std::move(ids)}})).blocks,
            (std::vector<std::string>{"0,0,0 minecraft:granite", "1,0,0 minecraft:dirt"}));
}

TEST(MCEditReaderTest, NoticesOncePerPair) {
  auto outcome = read_mcedit(schematic(4, 1, 1, {36, 36, 53, 53}, {3, 3, 2, 2}));
  EXPECT_EQ(outcome.blocks, (std::vector<std::string>{"2,0,0 minecraft:oak_stairs[facing=south,half=bottom,shape=straight,waterlogged=false]",
                                                      "3,0,0 minecraft:oak_stairs[facing=south,half=bottom,shape=straight,waterlogged=false]"}));
  EXPECT_EQ(outcome.stdout_text,
            "MCEdit: Warning - Unrecognized block ID 36 with data 3, treating as air\n"
            "MCEdit: Converted legacy block ID 53 with data 2 to modern state "
            "minecraft:oak_stairs[facing=south,half=bottom,shape=straight,waterlogged=false]\n");
}

TEST(MCEditReaderTest, SizesStoredAsInt) {
  EXPECT_EQ(read_mcedit(with_int_sizes(2, 1, 1, 2)).blocks,
            (std::vector<std::string>{"0,0,0 minecraft:stone", "1,0,0 minecraft:stone"}));
}

TEST(MCEditReaderTest, MessagesByCause) {
  struct Case {
    std::string name;
    Tag root;
    std::string message;
  } cases[] = {
      {"not compound", Tag{int32_t(1)}, "MCEdit: Root NBT tag is not a compound"},
      {"width", compound(Entries{{"Width", Tag{int64_t(1)}}}), "MCEdit: Missing or invalid 'Width' tag"},
      {"int sizes past 32 bits", with_int_sizes(65537, 65536, 1, 65536), "MCEdit: 'Blocks' array length 65536 does not match expected volume 65536"},
      {"negative int sizes", with_int_sizes(-1, -1, 1, 1), "MCEdit: 'Blocks' array length 1 does not match expected volume 1"},
      {"data", compound(Entries{{"Width", Tag{int16_t(1)}}, {"Height", Tag{int16_t(1)}}, {"Length", Tag{int16_t(1)}}, {"Blocks", Tag{Bytes8{1}}}}),
       "MCEdit: Missing or invalid 'Data' tag"},
      {"zero", schematic(0, 1, 1, {}, {}), "MCEdit: Boundary volume is zero, cannot read blocks"},
      {"lengths", schematic(1, 1, 1, {1}, {}), "MCEdit: 'Blocks' and 'Data' arrays must be the same length"},
      {"volume", schematic(2, 1, 1, {1}, {0}), "MCEdit: 'Blocks' array length 1 does not match expected volume 2"},
      {"bad mapping", schematic(1, 1, 1, {1}, {0}, Entries{{"BlockIds", compound(Entries{{"a[b]", Tag{std::string("1")}}})}}),
       "Malformed BlockState string: 'a[b]' must contain exactly one ':' separating namespace and type"},
  };
  for (auto& c : cases) EXPECT_EQ(read_mcedit(std::move(c.root)).error, c.message) << c.name;
  MCEditSchematicInputStream zero(source_of(encode_document(schematic(0, 1, 1, {}, {}))));
  std::vector<Block> out;
  EXPECT_EQ(zero.read(out, 5).message(), "MCEdit: Boundary volume is zero, cannot read blocks");
  EXPECT_EQ(zero.read(out, 5).message(), "MCEdit: Blocks have already been read, cannot read NBT header");
  MCEditSchematicInputStream fine(source_of(encode_document(schematic(1, 1, 1, {1}, {0}))));
  EXPECT_TRUE(fine.read(out, 0)->has_more);
  EXPECT_EQ(**fine.boundary(), Boundary(0, 0, 0, 1, 1, 1));
}

TEST(MCEditCorpusTest, EveryFileReads) {
  auto files = corpus_files("mcedit");
  if (files.empty()) GTEST_SKIP() << "corpus folder absent";
  for (const auto& path : files) {
    auto raw = gunzip(read_file(path));
    ASSERT_TRUE(raw.ok()) << path << ": " << raw.message();
    MCEditSchematicInputStream reader(source_of(*raw));
    ::testing::internal::CaptureStdout();
    auto blocks = reader.read_to_end_into_vec();
    ::testing::internal::GetCapturedStdout();
    // Refused on purpose: a box of one position with empty block arrays.
    std::string name = path.filename().string();
    if (name == "fawe_mcedit_degenerate.schematic") {
      EXPECT_EQ(blocks.message(), "MCEdit: 'Blocks' array length 0 does not match expected volume 1");
    } else {
      EXPECT_TRUE(blocks.ok()) << path << ": " << blocks.message();
    }
  }
}

}  // namespace
}  // namespace kubic
