#pragma once

#include <cstddef>
#include <cstdint>

namespace kubic {

// Bytes appended to one block of memory that grows by realloc: for large
// blocks the system moves pages instead of copying them, so a buffer of many
// megabytes grows without copying or touching its pages again, where a
// vector would copy everything into fresh pages at each doubling.
class GrowingBuffer {
 public:
  GrowingBuffer() = default;
  GrowingBuffer(GrowingBuffer&& other) noexcept;
  GrowingBuffer& operator=(GrowingBuffer&& other) noexcept;
  GrowingBuffer(const GrowingBuffer&) = delete;
  GrowingBuffer& operator=(const GrowingBuffer&) = delete;
  ~GrowingBuffer();

  // Throws std::bad_alloc when memory runs out, as a vector would.
  void append(const uint8_t* bytes, size_t length);
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  // Gives the memory back.
  void release();

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace kubic
