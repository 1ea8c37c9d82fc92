#pragma once

#include <memory>
#include <vector>

#include "io/byte_stream.h"

namespace kubic {

constexpr size_t kDefaultBufferSize = 8192;

// Serves small reads from a buffer filled by reads of `capacity` bytes.
class BufferedReader final : public ByteSource {
 public:
  explicit BufferedReader(std::unique_ptr<ByteSource> inner, size_t capacity = kDefaultBufferSize);
  Result<size_t> read(uint8_t* buffer, size_t length) override;

 private:
  std::unique_ptr<ByteSource> inner_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};

// Gathers small writes into a buffer of `capacity` bytes. Destruction writes
// the buffer out and ignores errors; finish() reports them.
class BufferedWriter final : public ByteSink {
 public:
  explicit BufferedWriter(std::unique_ptr<ByteSink> inner, size_t capacity = kDefaultBufferSize);
  ~BufferedWriter() override;
  Result<size_t> write(const uint8_t* data, size_t length) override;
  Status flush() override;
  Status finish() override;

 private:
  Status drain();

  std::unique_ptr<ByteSink> inner_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
};

}  // namespace kubic
