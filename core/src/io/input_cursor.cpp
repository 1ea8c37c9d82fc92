#include "io/input_cursor.h"

#include <algorithm>

namespace kubic {

bool InputCursor::refill() {
  auto n = source_->read(buffer_.data(), buffer_.size());
  if (!n.ok()) {
    status_ = n.status();
    return false;
  }
  status_ = Status::Ok();
  begin_ = 0;
  end_ = *n;
  return end_ != 0;
}

const uint8_t* InputCursor::peek(size_t length) {
  if (end_ - begin_ >= length) return buffer_.data() + begin_;
  if (length > buffer_.size()) return nullptr;
  // Keep what is left at the front, then fill behind it.
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < length) {
    auto n = source_->read(buffer_.data() + end_, buffer_.size() - end_);
    if (!n.ok()) {
      status_ = n.status();
      return nullptr;
    }
    if (*n == 0) return nullptr;
    end_ += *n;
  }
  return buffer_.data();
}

Status InputCursor::read_exact(uint8_t* out, size_t length) {
  while (length > 0) {
    if (begin_ == end_ && !refill()) {
      return status_.ok() ? Status::Error("failed to fill whole buffer") : status_;
    }
    size_t n = std::min(length, end_ - begin_);
    std::memcpy(out, buffer_.data() + begin_, n);
    begin_ += n;
    offset_ += n;
    out += n;
    length -= n;
  }
  return Status::Ok();
}

}  // namespace kubic
