#pragma once

#include <memory>
#include <vector>

#include "io/byte_stream.h"

namespace kubic {

// Reads a byte vector it owns from start to end.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  Result<size_t> read(uint8_t* buffer, size_t length) override;

 private:
  std::vector<uint8_t> bytes_;
  size_t offset_ = 0;
};

// Appends to a byte vector shared with the caller, who reads it afterwards.
class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::shared_ptr<std::vector<uint8_t>> bytes) : bytes_(std::move(bytes)) {}
  Result<size_t> write(const uint8_t* data, size_t length) override {
    bytes_->insert(bytes_->end(), data, data + length);
    return length;
  }
  Status flush() override { return Status::Ok(); }

 private:
  std::shared_ptr<std::vector<uint8_t>> bytes_;
};

}  // namespace kubic
