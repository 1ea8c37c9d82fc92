#include "fuzz_support.h"
#include "io/chains.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto chain = kubic::make_decompressing_chain(kubic::fuzz::source(data, size));
  uint8_t buffer[8192];
  for (size_t total = 0; total < (64u << 20);) {
    auto n = chain->read(buffer, sizeof buffer);
    if (!n.ok() || *n == 0) break;
    total += *n;
  }
  return 0;
}
