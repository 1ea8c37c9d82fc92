#pragma once

#include <zlib.h>

#include <memory>
#include <vector>

#include "io/byte_stream.h"
#include "io/growing_buffer.h"

struct inflate_state;

namespace kubic {

// Decodes the first gzip member of its source; bytes after it are ignored.
// The header is parsed at construction, but a bad one is reported by the
// first read ("invalid gzip header"). The trailer's CRC-32 and length are
// verified when the member ends. Inflating is ISA-L's, some three times
// zlib's speed, streaming all the same.
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
  // Once the deflate stream ends, the bytes its decoder read ahead (the
  // trailer's first ones) come back to the input.
  void take_back_read_ahead();
  Status verify_trailer();

  std::unique_ptr<ByteSource> inner_;
  std::unique_ptr<inflate_state, void (*)(inflate_state*)> state_;
  std::vector<uint8_t> input_;
  std::vector<uint8_t> read_ahead_;
  Status input_error_;
  bool input_ended_ = false;
  bool header_ok_ = false;
  bool member_ended_ = false;
  uint32_t crc_ = 0;
  uint32_t size_ = 0;
};

// Writes one gzip member with the fixed header 1F 8B 08 00 00 00 00 00 00
// FF. Documents up to kWholeLimit bytes are compressed whole by libdeflate
// at finish() (faster than zlib and smaller than zlib's level 6); past it,
// or once flush() asks for a sync flush, zlib streams at `level`. finish()
// (or, silently, destruction) ends the stream and writes the trailer.
class GzipEncoder final : public ByteSink {
 public:
  static constexpr size_t kWholeLimit = size_t(64) << 20;

  explicit GzipEncoder(std::unique_ptr<ByteSink> inner, int level = 6, size_t whole_limit = kWholeLimit);
  ~GzipEncoder() override;
  Result<size_t> write(const uint8_t* data, size_t length) override;
  Status flush() override;
  Status finish() override;

 private:
  // Turns to zlib streaming, handing it what was gathered so far.
  Status start_streaming();
  Status deflate_pending(int mode);
  Status compress_whole();

  std::unique_ptr<ByteSink> inner_;
  int level_;
  size_t whole_limit_;
  GrowingBuffer gathered_;
  bool streaming_ = false;
  z_stream zs_{};
  std::vector<uint8_t> output_;
  Status header_status_;
  bool finished_ = false;
  uint32_t crc_ = 0;
  uint32_t size_ = 0;
};

}  // namespace kubic
