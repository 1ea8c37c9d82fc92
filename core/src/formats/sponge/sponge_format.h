#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kubic {

// Sponge block data: one VarInt palette index per position, positions in
// YZX order (x fastest, then z, then y).

// Decodes the VarInt at data[i], advancing i; the error message on failure.
inline std::optional<std::string> decode_sponge_var_int(const int8_t* data, size_t length,
                                                        size_t& i, int32_t& value) {
  uint8_t b = uint8_t(data[i]);
  if (b < 0x80) {
    value = b;
    ++i;
    return std::nullopt;
  }
  uint32_t v = 0;
  for (int k = 0;; ++k) {
    b = uint8_t(data[i]);
    if (k == 4) {
      if (b & 0x80) return std::string("Sponge: VarInt is too big");
      v |= uint32_t(b) << 28;
      ++i;
      break;
    }
    if ((b & 0x80) && i + 1 == length) return std::string("Sponge: VarInt array ended unexpectedly");
    v |= uint32_t(b & 0x7F) << (7 * k);
    ++i;
    if (!(b & 0x80)) break;
  }
  value = int32_t(v);
  return std::nullopt;
}

}  // namespace kubic
