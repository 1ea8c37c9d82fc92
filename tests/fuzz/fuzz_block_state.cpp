#include "common/block_state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto state = kubic::BlockState::from_string(std::string_view(reinterpret_cast<const char*>(data), size));
  if (state.ok()) (void)(*state)->to_string();
  return 0;
}
