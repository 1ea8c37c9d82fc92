#include "fuzz_support.h"
#include "io/memory_stream.h"
#include "nbt/nbt_reader.h"
#include "nbt/nbt_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto in = kubic::fuzz::source(data, size);
  auto document = kubic::parse_nbt(*in);
  if (document.ok()) {
    auto out = std::make_shared<std::vector<uint8_t>>();
    kubic::MemorySink sink(out);
    (void)kubic::encode_nbt(*document, sink);
  }
  return 0;
}
