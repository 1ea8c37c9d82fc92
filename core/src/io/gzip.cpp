#include "io/gzip.h"

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
    : inner_(std::move(inner)), input_(kDefaultBufferSize) {
  inflateInit2(&zs_, -MAX_WBITS);
  header_ok_ = parse_header();
}

GzipDecoder::~GzipDecoder() { inflateEnd(&zs_); }

Status GzipDecoder::refill() {
  auto n = inner_->read(input_.data(), input_.size());
  if (!n.ok()) return n.status();
  zs_.next_in = input_.data();
  zs_.avail_in = uInt(*n);
  if (*n == 0) input_ended_ = true;
  return Status::Ok();
}

bool GzipDecoder::next_input_byte(uint8_t& byte) {
  if (zs_.avail_in == 0 && !input_ended_) {
    Status status = refill();
    if (!status.ok()) {
      input_error_ = status;
      return false;
    }
  }
  if (zs_.avail_in == 0) return false;
  byte = *zs_.next_in++;
  --zs_.avail_in;
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
  if (!header_ok_) return input_error_.ok() ? Status::Error("invalid gzip header") : input_error_;
  if (member_ended_ || length == 0) return size_t(0);
  zs_.next_out = buffer;
  zs_.avail_out = uInt(std::min<size_t>(length, 1u << 30));
  while (true) {
    if (zs_.avail_in == 0 && !input_ended_) KUBIC_RETURN_IF_ERROR(refill());
    uInt before = zs_.avail_out;
    int ret = inflate(&zs_, Z_NO_FLUSH);
    size_t produced = before - zs_.avail_out;
    crc_ = crc32(crc_, zs_.next_out - produced, uInt(produced));
    size_ += uint32_t(produced);
    size_t total = size_t(zs_.next_out - buffer);
    if (ret == Z_STREAM_END) {
      member_ended_ = true;
      KUBIC_RETURN_IF_ERROR(verify_trailer());
      return total;
    }
    if (ret != Z_OK && ret != Z_BUF_ERROR) return corrupt_deflate();
    if (total > 0) return total;
    if (zs_.avail_in == 0 && input_ended_) return unexpected_end();
  }
}

GzipEncoder::GzipEncoder(std::unique_ptr<ByteSink> inner, int level)
    : inner_(std::move(inner)), output_(kChunkSize) {
  deflateInit2(&zs_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  header_status_ = write_all(*inner_, kGzipHeader, sizeof kGzipHeader);
}

GzipEncoder::~GzipEncoder() {
  (void)finish();
  deflateEnd(&zs_);
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
  crc_ = crc32(crc_, data, uInt(chunk));
  size_ += uint32_t(chunk);
  zs_.next_in = const_cast<uint8_t*>(data);
  zs_.avail_in = uInt(chunk);
  KUBIC_RETURN_IF_ERROR(deflate_pending(Z_NO_FLUSH));
  return chunk;
}

Status GzipEncoder::flush() {
  KUBIC_RETURN_IF_ERROR(header_status_);
  if (!finished_) KUBIC_RETURN_IF_ERROR(deflate_pending(Z_SYNC_FLUSH));
  return inner_->flush();
}

Status GzipEncoder::finish() {
  if (finished_) return Status::Ok();
  finished_ = true;
  KUBIC_RETURN_IF_ERROR(header_status_);
  zs_.avail_in = 0;
  KUBIC_RETURN_IF_ERROR(deflate_pending(Z_FINISH));
  uint8_t trailer[8];
  for (int i = 0; i < 4; ++i) {
    trailer[i] = uint8_t(crc_ >> (8 * i));
    trailer[4 + i] = uint8_t(size_ >> (8 * i));
  }
  KUBIC_RETURN_IF_ERROR(write_all(*inner_, trailer, sizeof trailer));
  return inner_->finish();
}

}  // namespace kubic
