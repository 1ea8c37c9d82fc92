#include "formats/litematica/litematica_format.h"

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

// The reverse: Bits words back into 64 entries.
template <int Bits>
void unpack_whole_groups(const uint64_t* words, size_t groups, uint16_t* values) {
  constexpr uint64_t kMask = (uint64_t(1) << Bits) - 1;
  for (size_t g = 0; g < groups; ++g, values += 64, words += Bits) {
#pragma GCC unroll 64
    for (int i = 0; i < 64; ++i) {
      const int bit = i * Bits, word = bit >> 6, shift = bit & 63;
      uint64_t value = words[word] >> shift;
      if (shift + Bits > 64) value |= words[word + 1] << (64 - shift);
      values[i] = uint16_t(value & kMask);
    }
  }
}

using GroupUnpacker = void (*)(const uint64_t*, size_t, uint16_t*);

template <size_t... Widths>
constexpr std::array<GroupUnpacker, sizeof...(Widths)> group_unpackers(std::index_sequence<Widths...>) {
  return {&unpack_whole_groups<int(Widths) + 1>...};
}

// Indexed by bits - 1, for 1 to 16 bits.
constexpr auto kGroupUnpackers = group_unpackers(std::make_index_sequence<16>());

using GroupPacker = void (*)(const uint16_t*, size_t, uint64_t*);

template <size_t... Widths>
constexpr std::array<GroupPacker, sizeof...(Widths)> group_packers(std::index_sequence<Widths...>) {
  return {&pack_whole_groups<int(Widths) + 1>...};
}

// Indexed by bits - 1, for 1 to 16 bits.
constexpr auto kGroupPackers = group_packers(std::make_index_sequence<16>());

// Words handed on at a time: 64 KB.
constexpr size_t kBlockWords = 8192;

}  // namespace

void litematica_unpack(const int64_t* words, uint64_t first, int bits, std::span<uint16_t> out) {
  size_t done = 0;
  // One by one up to a group boundary, whole groups, then the rest.
  for (; done < out.size() && (first + done) % 64; ++done) out[done] = uint16_t(litematica_entry(words, first + done, bits));
  const size_t groups = (out.size() - done) / 64;
  const auto* group_words = reinterpret_cast<const uint64_t*>(words) + (first + done) / 64 * uint64_t(bits);
  kGroupUnpackers[size_t(bits - 1)](group_words, groups, out.data() + done);
  for (done += groups * 64; done < out.size(); ++done) out[done] = uint16_t(litematica_entry(words, first + done, bits));
}

LitematicaPacker::LitematicaPacker(int bits, Emit emit)
    : bits_(bits), emit_(std::move(emit)), block_(kBlockWords) {}

void LitematicaPacker::hand_on() {
  if (used_) emit_(std::span(block_).first(used_));
  used_ = 0;
}

void LitematicaPacker::pack_groups(const uint16_t* values, size_t groups) {
  while (groups) {
    const size_t fit = std::min(groups, (block_.size() - used_) / size_t(bits_));
    if (fit == 0) {
      hand_on();
      continue;
    }
    kGroupPackers[size_t(bits_ - 1)](values, fit, block_.data() + used_);
    used_ += fit * size_t(bits_);
    values += fit * 64;
    groups -= fit;
  }
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

void LitematicaPacker::finish() {
  // The last entries, fewer than 64, one after another.
  uint64_t tail[16] = {};
  size_t word = 0;
  int filled = 0;
  for (size_t i = 0; i < staged_count_; ++i) {
    const uint64_t value = staged_[i];
    tail[word] |= value << filled;
    filled += bits_;
    if (filled >= 64) {
      filled -= 64;
      // What did not fit goes first into the next word.
      tail[++word] = filled ? value >> (bits_ - filled) : 0;
    }
  }
  const size_t words = word + (filled ? 1 : 0);
  if (block_.size() - used_ < words) hand_on();
  std::copy_n(tail, words, block_.data() + used_);
  used_ += words;
  staged_count_ = 0;
  hand_on();
}

}  // namespace kubic
