#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
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

// Packs `count` entries given by entry(i), each below 2^bits.
template <typename Entry>
std::vector<int64_t> litematica_pack(uint64_t count, int bits, Entry&& entry) {
  std::vector<int64_t> words(size_t(litematica_word_count(Volume(count), bits)), 0);
  uint64_t pending = 0;  // the low bits of the word being filled
  int filled = 0;
  size_t word = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t value = entry(i);
    pending |= value << filled;
    filled += bits;
    if (filled >= 64) {
      words[word++] = int64_t(pending);
      filled -= 64;
      // What did not fit goes first into the next word.
      pending = filled ? value >> (bits - filled) : 0;
    }
  }
  if (filled) words[word] = int64_t(pending);
  return words;
}

}  // namespace kubic
