#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kubic {

constexpr size_t kMaxVarIntBytes = 5;
constexpr size_t kMaxVarLongBytes = 10;

// Writes the VarInt (or VarLong) of a value, taken as its unsigned pattern
// so that negative values take the full width, into `out`; returns the
// number of bytes.
template <typename Int>
size_t encode_var(Int value, uint8_t* out) {
  auto v = std::make_unsigned_t<Int>(value);
  size_t n = 0;
  while (v >= 0x80) {
    out[n++] = uint8_t(v | 0x80);
    v >>= 7;
  }
  out[n++] = uint8_t(v);
  return n;
}

inline size_t encode_var_int(int32_t value, uint8_t* out) { return encode_var(value, out); }

enum class VarIntRead { Ok, TooBig, Ended };

// The one reading of a VarInt: bytes come from next_byte(uint8_t&), false
// at the end of the input; at most five, the fifth giving bits 28 to 31.
// Every byte looked at is consumed, so a fifth byte that says more follow
// (TooBig) leaves the input five bytes on, whoever reads it.
template <typename NextByte>
VarIntRead read_var_int(NextByte&& next_byte, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t byte;
    if (!next_byte(byte)) return VarIntRead::Ended;
    value |= uint32_t(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) return VarIntRead::Ok;
  }
  uint8_t last;
  if (!next_byte(last)) return VarIntRead::Ended;
  value |= uint32_t(last) << 28;
  return last & 0x80 ? VarIntRead::TooBig : VarIntRead::Ok;
}

// Reads a VarInt from `p`, which must have kMaxVarIntBytes bytes, and moves
// past the bytes read; false for one that is too big.
inline bool decode_var_int(const uint8_t*& p, uint32_t& value) {
  return read_var_int([&](uint8_t& byte) { return byte = *p++, true; }, value) == VarIntRead::Ok;
}
inline size_t encode_var_long(int64_t value, uint8_t* out) { return encode_var(value, out); }

}  // namespace kubic
