#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "io/byte_stream.h"

namespace kubic {

class VirtualReader;

// One byte source read once by several forks, each from the beginning at
// its own pace. The source is read in pieces of at most 1024 bytes; only
// the bytes between the slowest and the fastest live fork are kept. A fork
// left alone reads on without a copy, in whole lengths.
class SharedStream : public std::enable_shared_from_this<SharedStream> {
 public:
  static constexpr size_t kReadSize = 1024;

  static std::shared_ptr<SharedStream> create(std::unique_ptr<ByteSource> source);

  // A new fork at the oldest byte still kept.
  std::unique_ptr<VirtualReader> fork();

  // Bytes moved to compact the buffer so far; dropping a prefix is done
  // lazily, so this stays proportional to the input, not quadratic in it.
  uint64_t bytes_compacted() const { return bytes_compacted_; }
  uint64_t source_reads() const { return source_reads_; }
  size_t buffered() const { return buffer_.size() - head_; }

 private:
  friend class VirtualReader;
  explicit SharedStream(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {
    buffer_.reserve(1024);
  }
  Result<size_t> read_for(uint64_t& cursor, uint8_t* out, size_t length);
  // Drops what no live fork needs any more.
  void trim();

  std::unique_ptr<ByteSource> source_;
  std::vector<uint8_t> buffer_;
  size_t head_ = 0;    // bytes of buffer_ already dropped, not yet compacted
  uint64_t base_ = 0;  // source offset of buffer_[head_]
  std::vector<std::weak_ptr<uint64_t>> forks_;  // absolute source offsets
  bool at_end_ = false;
  uint64_t bytes_compacted_ = 0;
  uint64_t source_reads_ = 0;
};

// One fork of a SharedStream: an ordinary byte source.
class VirtualReader final : public ByteSource {
 public:
  VirtualReader(std::shared_ptr<SharedStream> stream, std::shared_ptr<uint64_t> cursor)
      : stream_(std::move(stream)), cursor_(std::move(cursor)) {}
  // A fork that dies may have held the oldest bytes: they go at once, not
  // at the next read, which a survivor that took in its whole document
  // never makes.
  ~VirtualReader() override {
    cursor_.reset();
    stream_->trim();
  }
  Result<size_t> read(uint8_t* buffer, size_t length) override {
    auto n = stream_->read_for(*cursor_, buffer, length);
    *progress_ = *cursor_;
    return n;
  }
  // How far this fork has read, also after it is gone (a reader may drop
  // its input once read); holding it does not keep the fork's bytes.
  std::shared_ptr<const uint64_t> progress() const { return progress_; }

 private:
  std::shared_ptr<SharedStream> stream_;
  std::shared_ptr<uint64_t> cursor_;
  std::shared_ptr<uint64_t> progress_ = std::make_shared<uint64_t>(0);
};

}  // namespace kubic
