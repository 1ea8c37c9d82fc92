#pragma once

#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "io/byte_stream.h"

namespace kubic {

// A fast, owned cursor over a byte source for parsers that take a byte or a
// few at a time. It reads ahead freely: its owner is the source's only user.
class InputCursor {
 public:
  explicit InputCursor(std::unique_ptr<ByteSource> source, size_t capacity = 64 * 1024)
      : source_(std::move(source)), buffer_(capacity) {}

  // Reads one byte into `byte`; false at the end of input or on an error,
  // which status() then tells apart (ok at a clean end).
  bool next_byte(uint8_t& byte) {
    if (begin_ == end_ && !refill()) return false;
    byte = buffer_[begin_++];
    ++offset_;
    return true;
  }

  // Reads exactly `length` bytes; a short read fails with
  // "failed to fill whole buffer", a source error with its own message.
  Status read_exact(uint8_t* out, size_t length);

  // The next `length` bytes (at most the buffer's capacity) without
  // consuming them, or null when the input ends (or fails) before them.
  const uint8_t* peek(size_t length);
  // The bytes read ahead and not consumed yet, without reading more.
  std::span<const uint8_t> buffered() const { return {buffer_.data() + begin_, end_ - begin_}; }
  // Consumes `length` bytes that peek() or buffered() just showed.
  void skip_peeked(size_t length) {
    begin_ += length;
    offset_ += length;
  }

  // The failure of the last unsuccessful read, or ok at a clean end.
  const Status& status() const { return status_; }
  // Bytes consumed so far.
  uint64_t offset() const { return offset_; }

 private:
  bool refill();

  std::unique_ptr<ByteSource> source_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  uint64_t offset_ = 0;
  Status status_;
};

}  // namespace kubic
