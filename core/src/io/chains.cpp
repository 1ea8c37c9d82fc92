#include "io/chains.h"

#include <algorithm>

#include "io/buffered.h"
#include "io/gzip.h"

namespace kubic {

namespace {

// Serves the bytes looked at in advance, then the rest of the source. A
// failure while looking is reported by the first read.
class PeekedSource final : public ByteSource {
 public:
  explicit PeekedSource(std::unique_ptr<ByteSource> inner) : inner_(std::move(inner)) {
    while (peeked_ < sizeof head_) {
      auto n = inner_->read(head_ + peeked_, sizeof head_ - peeked_);
      if (!n.ok()) {
        failure_ = n.status();
        break;
      }
      if (*n == 0) break;
      peeked_ += *n;
    }
  }

  bool starts_with_gzip_magic() const { return peeked_ == 2 && head_[0] == 0x1F && head_[1] == 0x8B; }

  Result<size_t> read(uint8_t* buffer, size_t length) override {
    if (served_ < peeked_) {
      size_t n = std::min(length, peeked_ - served_);
      std::copy(head_ + served_, head_ + served_ + n, buffer);
      served_ += n;
      return n;
    }
    if (!failure_.ok()) return failure_;
    return inner_->read(buffer, length);
  }

 private:
  std::unique_ptr<ByteSource> inner_;
  uint8_t head_[2];
  size_t peeked_ = 0;
  size_t served_ = 0;
  Status failure_;
};

}  // namespace

DocumentInput make_document_chain(std::unique_ptr<ByteSource> source) {
  // Peeking through the buffer keeps the source's reads as large as ever.
  auto peeked = std::make_unique<PeekedSource>(std::make_unique<BufferedReader>(std::move(source)));
  if (!peeked->starts_with_gzip_magic()) return {std::move(peeked), false};
  auto decoder = std::make_unique<GzipDecoder>(std::move(peeked));
  return {std::make_unique<BufferedReader>(std::move(decoder)), true};
}

std::unique_ptr<ByteSource> make_decompressing_chain(std::unique_ptr<ByteSource> source) {
  auto inner = std::make_unique<BufferedReader>(std::move(source));
  auto decoder = std::make_unique<GzipDecoder>(std::move(inner));
  return std::make_unique<BufferedReader>(std::move(decoder));
}

std::unique_ptr<ByteSink> make_compressing_chain(std::unique_ptr<ByteSink> sink) {
  auto inner = std::make_unique<BufferedWriter>(std::move(sink));
  auto encoder = std::make_unique<GzipEncoder>(std::move(inner));
  return std::make_unique<BufferedWriter>(std::move(encoder));
}

std::unique_ptr<ByteSink> make_output_chain(std::unique_ptr<ByteSink> sink, bool gzip) {
  if (gzip) return make_compressing_chain(std::move(sink));
  return std::make_unique<BufferedWriter>(std::move(sink));
}

}  // namespace kubic
