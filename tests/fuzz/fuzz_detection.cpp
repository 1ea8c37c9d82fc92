#include "fuzz_support.h"
#include "formats/any_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kubic::fuzz::silence_stdout();
  auto reader = kubic::AnySchematicInputStream::new_from_known(kubic::fuzz::source(data, size));
  kubic::fuzz::drain(*reader);
  return 0;
}
