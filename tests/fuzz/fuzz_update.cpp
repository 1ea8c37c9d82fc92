#include "formats/kub/state_difference.h"
#include "fuzz_support.h"

// Input: a state text, a newline, a difference text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t cut = text.find('\n');
  auto base = kubic::BlockState::from_string(text.substr(0, cut));
  kubic::StateRef state = base.ok() ? *base : kubic::BlockState::create("minecraft:stone", {{"a", "b"}});
  std::string_view diff = cut == std::string_view::npos ? text : text.substr(cut + 1);
  auto updated = kubic::update(*state, diff);
  if (updated.ok()) (void)kubic::difference(*state, **updated);
  return 0;
}
