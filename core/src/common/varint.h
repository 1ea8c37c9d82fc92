#pragma once

#include <cstddef>
#include <cstdint>

namespace kubic {

constexpr size_t kMaxVarIntBytes = 5;
constexpr size_t kMaxVarLongBytes = 10;

// Writes the VarInt of a 32-bit value (its unsigned pattern, so negative
// values take five bytes) into `out`; returns the number of bytes.
inline size_t encode_var_int(int32_t value, uint8_t* out) {
  uint32_t v = uint32_t(value);
  size_t n = 0;
  while (v >= 0x80) {
    out[n++] = uint8_t(v | 0x80);
    v >>= 7;
  }
  out[n++] = uint8_t(v);
  return n;
}

inline size_t encode_var_long(int64_t value, uint8_t* out) {
  uint64_t v = uint64_t(value);
  size_t n = 0;
  while (v >= 0x80) {
    out[n++] = uint8_t(v | 0x80);
    v >>= 7;
  }
  out[n++] = uint8_t(v);
  return n;
}

}  // namespace kubic
