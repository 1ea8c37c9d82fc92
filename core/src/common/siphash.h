#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kubic {

// Incremental SipHash-1-3 (one compression round, three finalization
// rounds) over a byte stream fed in pieces; the result is the same as
// hashing the concatenation of the pieces.
class SipHash13 {
 public:
  SipHash13(uint64_t k0 = 0, uint64_t k1 = 0);

  void write(const void* data, size_t length);
  void write(std::string_view bytes) { write(bytes.data(), bytes.size()); }
  void write_byte(uint8_t byte) { write(&byte, 1); }
  uint64_t finish() const;

 private:
  void compress(uint64_t m);

  uint64_t v0_, v1_, v2_, v3_;
  uint64_t tail_ = 0;     // pending bytes, little-endian
  size_t tail_length_ = 0;
  uint64_t total_length_ = 0;
};

}  // namespace kubic
