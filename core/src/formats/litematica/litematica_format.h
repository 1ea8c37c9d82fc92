#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "common/boundary.h"

namespace kubic {

// Litematica stores a region's blocks as palette indices packed tightly
// into 64-bit words, low bits first, an entry straddling two words where it
// must; entries run x fastest, then z, then y.
inline int litematica_bits(size_t palette_size) {
  return std::max(2, int(std::bit_width(palette_size > 0 ? palette_size - 1 : 0)));
}

inline uint64_t litematica_word_count(Volume entries, int bits) {
  return uint64_t((entries * Volume(bits) + 63) / 64);
}

// Entry `i` of `count` entries of `bits` bits; `words` must hold
// litematica_word_count(count, bits) words.
inline uint32_t litematica_entry(const int64_t* words, uint64_t i, int bits) {
  const uint64_t bit = i * uint64_t(bits);
  const uint64_t word = bit >> 6;
  const unsigned shift = unsigned(bit & 63);
  uint64_t value = uint64_t(words[word]) >> shift;
  if (shift + unsigned(bits) > 64) value |= uint64_t(words[word + 1]) << (64 - shift);
  return uint32_t(value & ((uint64_t(1) << bits) - 1));
}

// Entries first to first + out.size() - 1 of `bits` bits (at most 16)
// from `words`, which must hold them.
void litematica_unpack(const int64_t* words, uint64_t first, int bits, std::span<uint16_t> out);

// Packs entries handed in pieces, each below 2^bits (at most 16 bits),
// and hands the finished words on in blocks, in order.
class LitematicaPacker {
 public:
  using Emit = std::function<void(std::span<const uint64_t> words)>;

  LitematicaPacker(int bits, Emit emit);
  void add(std::span<const uint16_t> values);
  // Packs the entries still waiting and hands on the last words.
  void finish();

 private:
  void pack_groups(const uint16_t* values, size_t groups);
  void hand_on();

  int bits_;
  Emit emit_;
  std::vector<uint64_t> block_;
  size_t used_ = 0;
  // Entries waiting for a whole group of 64.
  uint16_t staged_[64];
  size_t staged_count_ = 0;
};

}  // namespace kubic
