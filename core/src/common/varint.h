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

// Reads a VarInt from `p`, which must have kMaxVarIntBytes bytes, and moves
// past it; the fifth byte gives bits 28 to 31. False, for a fifth byte
// that says more follow.
inline bool decode_var_int(const uint8_t*& p, uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const uint8_t byte = *p++;
    value |= uint32_t(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) return true;
  }
  const uint8_t last = *p++;
  value |= uint32_t(last) << 28;
  return !(last & 0x80);
}
inline size_t encode_var_long(int64_t value, uint8_t* out) { return encode_var(value, out); }

}  // namespace kubic
