#include "io/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace kubic {

Result<size_t> MemorySource::read(uint8_t* buffer, size_t length) {
  size_t n = std::min(length, bytes_.size() - offset_);
  if (n) std::memcpy(buffer, bytes_.data() + offset_, n);
  offset_ += n;
  return n;
}

}  // namespace kubic
