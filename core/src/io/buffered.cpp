#include "io/buffered.h"

#include <algorithm>
#include <cstring>

#include "common/interrupt.h"

namespace kubic {

BufferedReader::BufferedReader(std::unique_ptr<ByteSource> inner, size_t capacity)
    : inner_(std::move(inner)), buffer_(capacity) {}

Result<size_t> BufferedReader::read(uint8_t* buffer, size_t length) {
  if (begin_ == end_) {
    KUBIC_RETURN_IF_ERROR(check_interrupt());
    // Large reads bypass the buffer; nothing is gained by copying twice.
    if (length >= buffer_.size()) return inner_->read(buffer, length);
    auto n = inner_->read(buffer_.data(), buffer_.size());
    if (!n.ok()) return n.status();
    begin_ = 0;
    end_ = *n;
  }
  size_t n = std::min(length, end_ - begin_);
  std::memcpy(buffer, buffer_.data() + begin_, n);
  begin_ += n;
  return n;
}

BufferedWriter::BufferedWriter(std::unique_ptr<ByteSink> inner, size_t capacity)
    : inner_(std::move(inner)), buffer_(capacity) {}

BufferedWriter::~BufferedWriter() { (void)drain(); }

Status BufferedWriter::drain() {
  if (used_ == 0) return Status::Ok();
  Status status = check_interrupt();
  if (status.ok()) status = write_all(*inner_, buffer_.data(), used_);
  used_ = 0;
  return status;
}

Result<size_t> BufferedWriter::write(const uint8_t* data, size_t length) {
  if (used_ + length > buffer_.size()) {
    KUBIC_RETURN_IF_ERROR(drain());
    if (length >= buffer_.size()) return inner_->write(data, length);
  }
  std::memcpy(buffer_.data() + used_, data, length);
  used_ += length;
  return length;
}

Status BufferedWriter::flush() {
  KUBIC_RETURN_IF_ERROR(drain());
  return inner_->flush();
}

Status BufferedWriter::finish() {
  KUBIC_RETURN_IF_ERROR(drain());
  return inner_->finish();
}

}  // namespace kubic
