#include "fuzz_support.h"
#include "formats/mcstructure/mcstructure_reader.h"

// The reader driven to its end over raw little-endian bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kubic::fuzz::silence_stdout();
  kubic::MCStructureInputStream reader(kubic::fuzz::source(data, size));
  kubic::fuzz::drain(reader);
  return 0;
}
