#pragma once

#include <zlib.h>

#include <memory>
#include <vector>

#include "io/byte_stream.h"

namespace kubic {

// Decodes the first gzip member of its source; bytes after it are ignored.
// The header is parsed at construction, but a bad one is reported by the
// first read ("invalid gzip header"). The trailer's CRC-32 and length are
// verified when the member ends.
class GzipDecoder final : public ByteSource {
 public:
  explicit GzipDecoder(std::unique_ptr<ByteSource> inner);
  ~GzipDecoder() override;
  Result<size_t> read(uint8_t* buffer, size_t length) override;

 private:
  bool parse_header();
  bool next_input_byte(uint8_t& byte);
  bool skip_input(size_t count);
  bool skip_zero_terminated();
  Status refill();
  Status verify_trailer();

  std::unique_ptr<ByteSource> inner_;
  z_stream zs_{};
  std::vector<uint8_t> input_;
  Status input_error_;
  bool input_ended_ = false;
  bool header_ok_ = false;
  bool member_ended_ = false;
  uint32_t crc_ = 0;
  uint32_t size_ = 0;
};

// Writes one gzip member at compression level 6 with the fixed header
// 1F 8B 08 00 00 00 00 00 00 FF. flush() is a deflate sync flush; finish()
// (or, silently, destruction) ends the stream and writes the trailer.
class GzipEncoder final : public ByteSink {
 public:
  explicit GzipEncoder(std::unique_ptr<ByteSink> inner, int level = 6);
  ~GzipEncoder() override;
  Result<size_t> write(const uint8_t* data, size_t length) override;
  Status flush() override;
  Status finish() override;

 private:
  Status deflate_pending(int mode);

  std::unique_ptr<ByteSink> inner_;
  z_stream zs_{};
  std::vector<uint8_t> output_;
  Status header_status_;
  bool finished_ = false;
  uint32_t crc_ = 0;
  uint32_t size_ = 0;
};

}  // namespace kubic
