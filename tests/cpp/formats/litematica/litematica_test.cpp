#include <gtest/gtest.h>

#include <random>

#include "formats/litematica/litematica_format.h"
#include "stream/schematic_extras.h"

namespace kubic {
namespace {

// Packs `values`, each below 2^bits, as the writer's packer does.
std::vector<int64_t> litematica_pack(std::span<const uint16_t> values, int bits) {
  std::vector<int64_t> words;
  LitematicaPacker packer(bits, [&](std::span<const uint64_t> block) { words.insert(words.end(), block.begin(), block.end()); });
  packer.add(values);
  packer.finish();
  return words;
}

TEST(LitematicaFormatTest, BitsAreTheFewestThatHoldThePaletteButAtLeastTwo) {
  const std::pair<size_t, int> cases[] = {{1, 2}, {2, 2}, {4, 2}, {5, 3}, {16, 4}, {17, 5},
                                          {64, 6}, {65, 7}, {257, 9}, {24276, 15}, {65536, 16}};
  for (auto [palette_size, bits] : cases) EXPECT_EQ(litematica_bits(palette_size), bits) << palette_size;
}

TEST(LitematicaFormatTest, PackedEntriesComeBackForEveryWidthIncludingStraddlingOnes) {
  std::mt19937 random(7);
  // Whole groups of 64 entries and a tail of every length after them.
  for (int bits = 2; bits <= 16; ++bits) {
    for (uint64_t count : {uint64_t(0), uint64_t(63), uint64_t(64), 1000 + uint64_t(bits)}) {
      std::vector<uint16_t> values(count);
      for (uint16_t& v : values) v = uint16_t(random() & ((1u << bits) - 1));
      auto words = litematica_pack(values, bits);
      ASSERT_EQ(words.size(), litematica_word_count(Volume(count), bits));
      for (uint64_t i = 0; i < count; ++i) ASSERT_EQ(litematica_entry(words.data(), i, bits), values[i]) << bits;
    }
  }
}

TEST(LitematicaFormatTest, EntriesAddedInPiecesPackAsWhole) {
  std::mt19937 random(11);
  for (int bits : {2, 5, 6, 13, 16}) {
    // Enough entries to fill several 8192-word blocks at 13 and 16 bits.
    std::vector<uint16_t> values(40000);
    for (uint16_t& v : values) v = uint16_t(random() & ((1u << bits) - 1));
    std::vector<int64_t> words;
    LitematicaPacker packer(bits, [&](std::span<const uint64_t> block) {
      words.insert(words.end(), block.begin(), block.end());
    });
    // Pieces shorter than, equal to and longer than a group of 64.
    for (size_t at = 0, piece = 1; at < values.size(); at += piece, piece = piece * 7 % 150 + 1) {
      piece = std::min(piece, values.size() - at);
      packer.add(std::span(values).subspan(at, piece));
    }
    packer.finish();
    EXPECT_EQ(words, litematica_pack(values, bits)) << bits;
  }
}

TEST(LitematicaFormatTest, UnpackingAnyStretchGivesTheEntriesOneByOne) {
  std::mt19937 random(5);
  for (int bits = 2; bits <= 16; ++bits) {
    std::vector<uint16_t> values(3000);
    for (uint16_t& v : values) v = uint16_t(random() & ((1u << bits) - 1));
    const auto words = litematica_pack(values, bits);
    // Stretches starting on and off a group of 64, shorter and longer than one.
    for (auto [first, count] : {std::pair<size_t, size_t>{0, 3000}, {64, 128}, {5, 50}, {63, 200}, {1000, 1999}}) {
      std::vector<uint16_t> out(count);
      litematica_unpack(words.data(), first, bits, out);
      ASSERT_TRUE(std::equal(out.begin(), out.end(), values.begin() + std::ptrdiff_t(first))) << bits << " " << first;
    }
  }
}

TEST(LitematicaFormatTest, NegativeSizesRunFromThePositionTowardsSmallerCoordinates) {
  const std::tuple<BlockPosition, std::array<int32_t, 3>, Boundary> cases[] = {
      {{0, 0, 0}, {3, 2, 1}, Boundary(0, 0, 0, 3, 2, 1)},
      {{2, 0, 0}, {-3, 2, 3}, Boundary(0, 0, 0, 3, 2, 3)},
      {{2, 2, 2}, {-3, -3, -3}, Boundary(0, 0, 0, 3, 3, 3)},
      {{5, 10, 0}, {5, -11, 1}, Boundary(5, 0, 0, 5, 11, 1)},
      {{-2, 3, 2}, {5, -5, -5}, Boundary(-2, -1, -2, 5, 5, 5)},
  };
  for (const auto& [position, size, box] : cases) {
    EXPECT_EQ(SubRegion({"r", position, size, {}, {}}).box(), box) << position.debug_string();
  }
}

}  // namespace
}  // namespace kubic
