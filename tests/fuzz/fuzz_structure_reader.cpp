#include "fuzz_support.h"
#include "formats/structure/structure_reader.h"

// The reader driven to its end over raw (decompressed) bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kubic::fuzz::silence_stdout();
  kubic::StructureSchematicInputStream reader(kubic::fuzz::source(data, size));
  kubic::fuzz::drain(reader);
  return 0;
}
