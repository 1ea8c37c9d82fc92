#include "io/chains.h"

#include "io/buffered.h"
#include "io/gzip.h"

namespace kubic {

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

}  // namespace kubic
