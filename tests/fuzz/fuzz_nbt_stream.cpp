#include "fuzz_support.h"
#include "nbt/nbt_stream_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kubic::NbtStreamParser parser(kubic::fuzz::source(data, size));
  kubic::NbtEvent event;
  while (parser.next(event).ok() && event.kind != kubic::NbtEventKind::EndOfInput) {
  }
  return 0;
}
