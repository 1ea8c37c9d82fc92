#include "formats/any_reader.h"
#include "formats/format_table.h"
#include "fuzz_support.h"
#include "schematic/conversion.h"

// Detection and the conversion engine over raw (decompressed) bytes, into
// every writable format: extras are read, moved and written.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kubic::fuzz::silence_stdout();
  for (const kubic::FormatEntry& format : kubic::format_table()) {
    if (!format.writable()) continue;
    auto reader = kubic::AnySchematicInputStream::new_from_known(kubic::fuzz::source(data, size));
    auto boundary = reader->boundary();
    // Writers hold whole boxes; a tiny file may rightly declare a huge one.
    if (!boundary.ok() || (*boundary && (*boundary)->volume() > (1u << 20))) return 0;
    auto out = std::make_shared<std::vector<uint8_t>>();
    (void)kubic::convert_schematic(*reader, format.id, std::make_unique<kubic::MemorySink>(out));
  }
  return 0;
}
