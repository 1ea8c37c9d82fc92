#include "io/growing_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace kubic {

GrowingBuffer::GrowingBuffer(GrowingBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

GrowingBuffer& GrowingBuffer::operator=(GrowingBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

GrowingBuffer::~GrowingBuffer() { release(); }

void GrowingBuffer::append(const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  if (length > capacity_ - size_) {
    // An eighth more than needed leaves room for a document's tail after
    // one large array, which would otherwise cost a move of it all.
    const size_t needed = size_ + length;
    const size_t capacity = std::max({size_t(4096), 2 * capacity_, needed + needed / 8});
    auto* grown = static_cast<uint8_t*>(std::realloc(data_, capacity));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
    capacity_ = capacity;
  }
  std::memcpy(data_ + size_, bytes, length);
  size_ += length;
}

void GrowingBuffer::release() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

}  // namespace kubic
