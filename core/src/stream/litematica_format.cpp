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

LitematicaPacker::LitematicaPacker(uint64_t count, int bits)
    : bits_(bits), words_(size_t(litematica_word_count(Volume(count), bits))) {}

void LitematicaPacker::pack_groups(const uint16_t* values, size_t groups) {
  kGroupPackers[size_t(bits_ - 1)](values, groups, reinterpret_cast<uint64_t*>(words_.data()) + word_);
  word_ += groups * size_t(bits_);
}

void LitematicaPacker::add(std::span<const uint16_t> values) {
  if (staged_count_) {
    const size_t n = std::min(values.size(), 64 - staged_count_);
    std::copy_n(values.begin(), n, staged_ + staged_count_);
    staged_count_ += n;
    values = values.subspan(n);
    if (staged_count_ < 64) return;
    pack_groups(staged_, 1);
    staged_count_ = 0;
  }
  const size_t groups = values.size() / 64;
  pack_groups(values.data(), groups);
  staged_count_ = values.size() - groups * 64;
  std::copy_n(values.begin() + std::ptrdiff_t(groups * 64), staged_count_, staged_);
}

std::vector<int64_t> LitematicaPacker::finish() {
  // The last entries, fewer than 64, one after another.
  uint64_t pending = 0;
  int filled = 0;
  for (size_t i = 0; i < staged_count_; ++i) {
    const uint64_t value = staged_[i];
    pending |= value << filled;
    filled += bits_;
    if (filled >= 64) {
      words_[word_++] = int64_t(pending);
      filled -= 64;
      // What did not fit goes first into the next word.
      pending = filled ? value >> (bits_ - filled) : 0;
    }
  }
  if (filled) words_[word_] = int64_t(pending);
  return std::move(words_);
}

std::vector<int64_t> litematica_pack(std::span<const uint16_t> values, int bits) {
  LitematicaPacker packer(values.size(), bits);
  packer.add(values);
  return packer.finish();
}

}  // namespace kubic
