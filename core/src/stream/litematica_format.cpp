#include "stream/litematica_format.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace kubic {

namespace {

// 64 entries of Bits bits fill exactly Bits words: with the width known to
// the compiler every shift is a constant and the loop unrolls, where the
// general loop waits on each entry's position.
template <int Bits>
void pack_whole_groups(const uint16_t* values, size_t groups, uint64_t* words) {
  for (size_t g = 0; g < groups; ++g, values += 64, words += Bits) {
    uint64_t out[Bits] = {};
#pragma GCC unroll 64
    for (int i = 0; i < 64; ++i) {
      const int bit = i * Bits, word = bit >> 6, shift = bit & 63;
      out[word] |= uint64_t(values[i]) << shift;
      if (shift + Bits > 64) out[word + 1] |= uint64_t(values[i]) >> (64 - shift);
    }
    std::copy(out, out + Bits, words);
  }
}

using GroupPacker = void (*)(const uint16_t*, size_t, uint64_t*);

template <size_t... Widths>
constexpr std::array<GroupPacker, sizeof...(Widths)> group_packers(std::index_sequence<Widths...>) {
  return {&pack_whole_groups<int(Widths) + 1>...};
}

// Indexed by bits - 1, for 1 to 16 bits.
constexpr auto kGroupPackers = group_packers(std::make_index_sequence<16>());

}  // namespace

std::vector<int64_t> litematica_pack(std::span<const uint16_t> values, int bits) {
  const size_t word_count = size_t(litematica_word_count(Volume(values.size()), bits));
  std::vector<int64_t> words(word_count);
  const size_t groups = values.size() / 64;
  auto* out = reinterpret_cast<uint64_t*>(words.data());
  kGroupPackers[size_t(bits - 1)](values.data(), groups, out);
  // The last entries, fewer than 64, one after another.
  uint64_t pending = 0;
  int filled = 0;
  size_t word = groups * size_t(bits);
  for (size_t i = groups * 64; i < values.size(); ++i) {
    const uint64_t value = values[i];
    pending |= value << filled;
    filled += bits;
    if (filled >= 64) {
      out[word++] = pending;
      filled -= 64;
      // What did not fit goes first into the next word.
      pending = filled ? value >> (bits - filled) : 0;
    }
  }
  if (filled) out[word] = pending;
  return words;
}

}  // namespace kubic
