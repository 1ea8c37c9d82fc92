// Small inputs that declare huge boxes cost what they contain.
#include <gtest/gtest.h>

#include <chrono>

#include "common/varint.h"
#include "formats/kub/kub_reader.h"
#include "formats/structure/structure_reader.h"
#include "formats/sponge/sponge_reader.h"
#include "support/nbt_build.h"
#include "support/test_streams.h"

namespace kubic {
namespace {

using namespace kubic::testing;
using Entries = std::vector<std::pair<std::string, Tag>>;

// A generous bound: the work is milliseconds, a walk of the box would be
// years.
class Deadline {
 public:
  ~Deadline() { EXPECT_LT(std::chrono::steady_clock::now() - start_, std::chrono::seconds(10)); }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

TEST(ResourceBoundsTest, HugeStructureWithTwoBlocks) {
  Deadline deadline;
  Tag palette = list_tag(TagType::Compound, compound(Entries{{"Name", Tag{std::string("minecraft:stone")}}}));
  Tag blocks = list_tag(TagType::Compound,
                        compound(Entries{{"pos", ints(5, 7, 9)}, {"state", Tag{int32_t(0)}}}),
                        compound(Entries{{"pos", ints(1999999999, 1999999999, 1999999999)}, {"state", Tag{int32_t(0)}}}));
  StructureSchematicInputStream reader(source_of(encode_document(compound(Entries{
      {"size", ints(2000000000, 2000000000, 2000000000)}, {"palette", std::move(palette)}, {"blocks", std::move(blocks)}}))));
  EXPECT_EQ(describe(*reader.read_to_end_into_vec()),
            (std::vector<std::string>{"5,7,9 minecraft:stone", "1999999999,1999999999,1999999999 minecraft:stone"}));
}

TEST(ResourceBoundsTest, HugeSpongeBoxWithoutBlockData) {
  Deadline deadline;
  Tag root = compound(Entries{{"Width", Tag{int16_t(32767)}}, {"Height", Tag{int16_t(32767)}},
                              {"Length", Tag{int16_t(32767)}}, {"Palette", compound(Entries{{"minecraft:stone", Tag{int32_t(0)}}})},
                              {"BlockData", Tag{std::vector<int8_t>{}}}});
  SpongeSchematicInputStream reader(source_of(encode_document(std::move(root))));
  std::vector<Block> out;
  EXPECT_FALSE(reader.read(out, 4096)->has_more);
}

TEST(ResourceBoundsTest, KubAirRunsOfAnyLengthAreConstantTime) {
  Deadline deadline;
  std::vector<uint8_t> file = {0xD4, 0x9A, 0x99, 0x92, 0xD4, 0xEA, 0x12, 1};
  uint8_t buffer[5];
  for (int32_t corner : {0, 0, 0, 2000000000, 2000000000, 2000000000}) {
    file.insert(file.end(), buffer, buffer + encode_var_int(corner, buffer));
  }
  file.push_back(0);
  std::string air = "minecraft:air", stone = ":stone";
  file.insert(file.end(), {0, 0, uint8_t(air.size())});
  file.insert(file.end(), air.begin(), air.end());
  file.insert(file.end(), {1, 2, uint8_t(stone.size())});
  file.insert(file.end(), stone.begin(), stone.end());
  for (int i = 0; i < 1000; ++i) {
    file.push_back(3);  // a run of 2^31 - 1 air positions
    file.insert(file.end(), buffer, buffer + encode_var_int(INT32_MAX, buffer));
  }
  file.push_back(4);  // one stone
  KUBSchematicInputStream reader(source_of(file));
  auto blocks = reader.read_to_end_into_vec();
  ASSERT_TRUE(blocks.ok()) << blocks.message();
  ASSERT_EQ(blocks->size(), 1u);
}

}  // namespace
}  // namespace kubic
