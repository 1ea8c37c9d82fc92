#include "io/gzip.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>

#include "io/buffered.h"

namespace kubic {

namespace {

constexpr size_t kChunkSize = 64 * 1024;
constexpr uint8_t kGzipHeader[10] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0xFF};
constexpr uint8_t kFlagHeaderCrc = 0x02, kFlagExtra = 0x04, kFlagName = 0x08,
                  kFlagComment = 0x10, kFlagsReserved = 0xE0;

Status corrupt_deflate() { return Status::Error("corrupt deflate stream"); }
Status unexpected_end() { return Status::Error("unexpected end of file"); }

}  // namespace

GzipDecoder::GzipDecoder(std::unique_ptr<ByteSource> inner)
    : inner_(std::move(inner)),
      state_(new inflate_state, [](inflate_state* state) { delete state; }),
      input_(kDefaultBufferSize) {
  isal_inflate_init(state_.get());
  state_->crc_flag = ISAL_DEFLATE;
  header_ok_ = parse_header();
}

GzipDecoder::~GzipDecoder() = default;

Status GzipDecoder::refill() {
  auto n = inner_->read(input_.data(), input_.size());
  if (!n.ok()) return n.status();
  state_->next_in = input_.data();
  state_->avail_in = uint32_t(*n);
  if (*n == 0) input_ended_ = true;
  return Status::Ok();
}

bool GzipDecoder::next_input_byte(uint8_t& byte) {
  if (!read_ahead_.empty()) {
    byte = read_ahead_.front();
    read_ahead_.erase(read_ahead_.begin());
    return true;
  }
  if (state_->avail_in == 0 && !input_ended_) {
    Status status = refill();
    if (!status.ok()) {
      input_error_ = status;
      return false;
    }
  }
  if (state_->avail_in == 0) return false;
  byte = *state_->next_in++;
  --state_->avail_in;
  return true;
}

bool GzipDecoder::skip_input(size_t count) {
  uint8_t ignored;
  for (size_t i = 0; i < count; ++i) {
    if (!next_input_byte(ignored)) return false;
  }
  return true;
}

bool GzipDecoder::skip_zero_terminated() {
  uint8_t byte;
  do {
    if (!next_input_byte(byte)) return false;
  } while (byte != 0);
  return true;
}

bool GzipDecoder::parse_header() {
  uint8_t h[10];
  for (uint8_t& b : h) {
    if (!next_input_byte(b)) return false;
  }
  if (h[0] != 0x1F || h[1] != 0x8B || h[2] != 8 || (h[3] & kFlagsReserved)) return false;
  uint8_t flags = h[3];
  if (flags & kFlagExtra) {
    uint8_t lo, hi;
    if (!next_input_byte(lo) || !next_input_byte(hi) || !skip_input(lo | (hi << 8))) return false;
  }
  if ((flags & kFlagName) && !skip_zero_terminated()) return false;
  if ((flags & kFlagComment) && !skip_zero_terminated()) return false;
  if ((flags & kFlagHeaderCrc) && !skip_input(2)) return false;
  return true;
}

void GzipDecoder::take_back_read_ahead() {
  // Bits up to the next byte boundary belong to the last block.
  int32_t bits = state_->read_in_length;
  uint64_t held = state_->read_in >> (bits % 8);
  for (int32_t k = 0; k < bits / 8; ++k) read_ahead_.push_back(uint8_t(held >> (8 * k)));
  state_->read_in = 0;
  state_->read_in_length = 0;
}

Status GzipDecoder::verify_trailer() {
  uint8_t t[8];
  for (uint8_t& b : t) {
    if (!next_input_byte(b)) return unexpected_end();
  }
  uint32_t crc = t[0] | (t[1] << 8) | (t[2] << 16) | (uint32_t(t[3]) << 24);
  uint32_t size = t[4] | (t[5] << 8) | (t[6] << 16) | (uint32_t(t[7]) << 24);
  if (crc != crc_ || size != size_) {
    return Status::Error("corrupt gzip stream does not have a matching checksum");
  }
  return Status::Ok();
}

Result<size_t> GzipDecoder::read(uint8_t* buffer, size_t length) {
  // A source that failed while the header was read reports its own error;
  // missing or wrong header bytes are an invalid header.
  if (!header_ok_) return input_error_.ok() ? Status::Unrecognised("invalid gzip header") : input_error_;
  if (member_ended_ || length == 0) return size_t(0);
  inflate_state& state = *state_;
  state.next_out = buffer;
  state.avail_out = uint32_t(std::min<size_t>(length, 1u << 30));
  while (true) {
    if (state.avail_in == 0 && !input_ended_) KUBIC_RETURN_IF_ERROR(refill());
    uint8_t* out_before = state.next_out;
    const uint32_t in_before = state.avail_in;
    const int ret = isal_inflate(&state);
    const size_t produced = size_t(state.next_out - out_before);
    crc_ = crc32_gzip_refl(crc_, out_before, produced);
    size_ += uint32_t(produced);
    const size_t total = size_t(state.next_out - buffer);
    if (ret < 0) return corrupt_deflate();
    if (state.block_state == ISAL_BLOCK_FINISH) {
      member_ended_ = true;
      take_back_read_ahead();
      KUBIC_RETURN_IF_ERROR(verify_trailer());
      return total;
    }
    if (total > 0) return total;
    if (state.avail_in == 0 && input_ended_) return unexpected_end();
    // Input left, room for output, and nothing moved: it never will.
    if (produced == 0 && state.avail_in == in_before && in_before > 0) return corrupt_deflate();
  }
}

GzipEncoder::GzipEncoder(std::unique_ptr<ByteSink> inner, int level, size_t whole_limit)
    : inner_(std::move(inner)), level_(level), whole_limit_(whole_limit) {
  header_status_ = write_all(*inner_, kGzipHeader, sizeof kGzipHeader);
}

GzipEncoder::~GzipEncoder() {
  (void)finish();
  if (streaming_) deflateEnd(&zs_);
}

Status GzipEncoder::start_streaming() {
  streaming_ = true;
  output_.resize(kChunkSize);
  deflateInit2(&zs_, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  GrowingBuffer gathered = std::move(gathered_);
  zs_.next_in = const_cast<uint8_t*>(gathered.data());
  zs_.avail_in = uInt(gathered.size());
  return deflate_pending(Z_NO_FLUSH);
}

Status GzipEncoder::deflate_pending(int mode) {
  while (true) {
    zs_.next_out = output_.data();
    zs_.avail_out = uInt(output_.size());
    int ret = deflate(&zs_, mode);
    if (ret == Z_STREAM_ERROR) return Status::Error("deflate failed");
    size_t have = output_.size() - zs_.avail_out;
    if (have) KUBIC_RETURN_IF_ERROR(write_all(*inner_, output_.data(), have));
    if (mode == Z_FINISH ? ret == Z_STREAM_END : (zs_.avail_in == 0 && zs_.avail_out != 0)) {
      return Status::Ok();
    }
  }
}

Result<size_t> GzipEncoder::write(const uint8_t* data, size_t length) {
  if (finished_) return Status::Error("write after the gzip stream was finished");
  KUBIC_RETURN_IF_ERROR(header_status_);
  size_t chunk = std::min<size_t>(length, 1u << 30);
  crc_ = crc32_gzip_refl(crc_, data, chunk);
  size_ += uint32_t(chunk);
  if (!streaming_ && gathered_.size() + chunk <= whole_limit_) {
    gathered_.append(data, chunk);
    return chunk;
  }
  if (!streaming_) KUBIC_RETURN_IF_ERROR(start_streaming());
  zs_.next_in = const_cast<uint8_t*>(data);
  zs_.avail_in = uInt(chunk);
  KUBIC_RETURN_IF_ERROR(deflate_pending(Z_NO_FLUSH));
  return chunk;
}

Status GzipEncoder::flush() {
  KUBIC_RETURN_IF_ERROR(header_status_);
  if (!finished_) {
    if (!streaming_) KUBIC_RETURN_IF_ERROR(start_streaming());
    KUBIC_RETURN_IF_ERROR(deflate_pending(Z_SYNC_FLUSH));
  }
  return inner_->flush();
}

Status GzipEncoder::compress_whole() {
  // libdeflate's level 7 is at least as small as zlib's 6 on schematics,
  // in less time.
  const int level = level_ == 6 ? 7 : std::clamp(level_, 0, 12);
  std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
      libdeflate_alloc_compressor(level), libdeflate_free_compressor);
  if (!compressor) return Status::Error("deflate failed");
  // Left uninitialised: only the pages the output reaches are touched.
  const size_t bound = libdeflate_deflate_compress_bound(compressor.get(), gathered_.size());
  auto out = std::make_unique_for_overwrite<uint8_t[]>(bound);
  const size_t n = libdeflate_deflate_compress(compressor.get(), gathered_.data(), gathered_.size(), out.get(), bound);
  if (n == 0) return Status::Error("deflate failed");
  gathered_.release();
  return write_all(*inner_, out.get(), n);
}

Status GzipEncoder::finish() {
  if (finished_) return Status::Ok();
  finished_ = true;
  KUBIC_RETURN_IF_ERROR(header_status_);
  if (streaming_) {
    zs_.avail_in = 0;
    KUBIC_RETURN_IF_ERROR(deflate_pending(Z_FINISH));
  } else {
    KUBIC_RETURN_IF_ERROR(compress_whole());
  }
  uint8_t trailer[8];
  for (int i = 0; i < 4; ++i) {
    trailer[i] = uint8_t(crc_ >> (8 * i));
    trailer[4 + i] = uint8_t(size_ >> (8 * i));
  }
  KUBIC_RETURN_IF_ERROR(write_all(*inner_, trailer, sizeof trailer));
  return inner_->finish();
}

}  // namespace kubic
