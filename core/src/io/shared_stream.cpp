#include "io/shared_stream.h"

#include <algorithm>
#include <cstring>

namespace kubic {

std::shared_ptr<SharedStream> SharedStream::create(std::unique_ptr<ByteSource> source) {
  return std::shared_ptr<SharedStream>(new SharedStream(std::move(source)));
}

std::unique_ptr<VirtualReader> SharedStream::fork() {
  auto cursor = std::make_shared<uint64_t>(base_);
  forks_.push_back(cursor);
  return std::make_unique<VirtualReader>(shared_from_this(), std::move(cursor));
}

Result<size_t> SharedStream::read_for(uint64_t& cursor, uint8_t* out, size_t length) {
  uint64_t end = base_ + (buffer_.size() - head_);
  // A lone fork that has caught up leaves nothing for others to need: it
  // reads straight from the source, whole lengths at once.
  if (cursor >= end && !at_end_ && forks_.size() == 1) {
    auto n = source_->read(out, length);
    ++source_reads_;
    if (!n.ok()) return n.status();
    at_end_ = *n == 0;
    cursor += *n;
    base_ = cursor;
    return *n;
  }
  if (cursor >= end && !at_end_) {
    uint8_t scratch[kReadSize];
    auto n = source_->read(scratch, kReadSize);
    ++source_reads_;
    if (!n.ok()) return n.status();
    if (*n == 0) {
      at_end_ = true;
    } else {
      buffer_.insert(buffer_.end(), scratch, scratch + *n);
      end += *n;
    }
  }
  size_t available = size_t(end - cursor);
  size_t n = std::min(length, available);
  if (n > 0) {
    std::memcpy(out, buffer_.data() + head_ + (cursor - base_), n);
    cursor += n;
  }
  trim();
  return n;
}

void SharedStream::trim() {
  uint64_t slowest = UINT64_MAX;
  std::erase_if(forks_, [&](const std::weak_ptr<uint64_t>& fork) {
    auto cursor = fork.lock();
    if (!cursor) return true;
    slowest = std::min(slowest, *cursor);
    return false;
  });
  if (slowest == UINT64_MAX) {
    // No fork left: nothing is needed.
    slowest = base_ + (buffer_.size() - head_);
  }
  if (slowest <= base_) return;
  head_ += size_t(slowest - base_);
  base_ = slowest;
  // Compact only once the dropped prefix outweighs what is kept, so each
  // byte is moved a bounded number of times.
  size_t kept = buffer_.size() - head_;
  if (kept == 0) {
    std::vector<uint8_t>().swap(buffer_);
    head_ = 0;
  } else if (head_ >= kept) {
    std::memmove(buffer_.data(), buffer_.data() + head_, kept);
    bytes_compacted_ += kept;
    buffer_.resize(kept);
    head_ = 0;
  }
}

}  // namespace kubic
