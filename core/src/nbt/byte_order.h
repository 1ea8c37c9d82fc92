#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kubic {

// The order of a document's numbers: Java's NBT is big-endian, Bedrock's
// little-endian. Bedrock's strings are plain UTF-8, Java's modified UTF-8.
enum class ByteOrder : uint8_t { kBigEndian, kLittleEndian };

// A number between the machine's order and `order` (either way: swapping
// is its own inverse).
template <typename T>
T in_byte_order(T value, ByteOrder order) {
  constexpr bool native_big = std::endian::native == std::endian::big;
  if constexpr (sizeof(T) > 1) {
    if ((order == ByteOrder::kBigEndian) != native_big) {
      using U = std::make_unsigned_t<std::conditional_t<
          std::is_floating_point_v<T>, std::conditional_t<sizeof(T) == 4, int32_t, int64_t>, T>>;
      U bits;
      std::memcpy(&bits, &value, sizeof bits);
      bits = std::byteswap(bits);
      std::memcpy(&value, &bits, sizeof bits);
    }
  }
  return value;
}

}  // namespace kubic
