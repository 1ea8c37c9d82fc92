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
inline size_t encode_var_long(int64_t value, uint8_t* out) { return encode_var(value, out); }

}  // namespace kubic
