#include "common/siphash.h"

namespace kubic {

namespace {

inline uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

inline void sip_round(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
  v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
  v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
  v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
  v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
}

}  // namespace

SipHash13::SipHash13(uint64_t k0, uint64_t k1)
    : v0_(k0 ^ 0x736f6d6570736575ull),
      v1_(k1 ^ 0x646f72616e646f6dull),
      v2_(k0 ^ 0x6c7967656e657261ull),
      v3_(k1 ^ 0x7465646279746573ull) {}

void SipHash13::compress(uint64_t m) {
  v3_ ^= m;
  sip_round(v0_, v1_, v2_, v3_);
  v0_ ^= m;
}

void SipHash13::write(const void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  total_length_ += length;
  size_t i = 0;
  while (tail_length_ != 0 && i < length) {
    tail_ |= uint64_t(bytes[i++]) << (8 * tail_length_);
    if (++tail_length_ == 8) {
      compress(tail_);
      tail_ = 0;
      tail_length_ = 0;
    }
  }
  for (; i + 8 <= length; i += 8) {
    uint64_t m = 0;
    for (int k = 7; k >= 0; --k) m = (m << 8) | bytes[i + k];
    compress(m);
  }
  for (; i < length; ++i) tail_ |= uint64_t(bytes[i]) << (8 * tail_length_++);
}

uint64_t SipHash13::finish() const {
  uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
  uint64_t b = (total_length_ << 56) | tail_;
  v3 ^= b;
  sip_round(v0, v1, v2, v3);
  v0 ^= b;
  v2 ^= 0xff;
  sip_round(v0, v1, v2, v3);
  sip_round(v0, v1, v2, v3);
  sip_round(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace kubic
