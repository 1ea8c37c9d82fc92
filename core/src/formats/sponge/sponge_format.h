#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/varint.h"

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
  uint32_t v;
  auto next_byte = [&](uint8_t& byte) { return i < length ? (byte = uint8_t(data[i++]), true) : false; };
  switch (read_var_int(next_byte, v)) {
    case VarIntRead::Ok: value = int32_t(v); return std::nullopt;
    case VarIntRead::TooBig: return std::string("Sponge: VarInt is too big");
    case VarIntRead::Ended: break;
  }
  return std::string("Sponge: VarInt array ended unexpectedly");
}

}  // namespace kubic
