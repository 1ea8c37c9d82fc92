#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic {

// States numbered in the order they are first met, plain air always 0: the
// palette of an array of 16-bit indices, so at most 65,536 states.
class StatePalette {
 public:
  static constexpr size_t kMaxStates = 65536;

  StatePalette();

  // The state's number, adding it when new; fails with "more than 65536
  // distinct states" (callers prefix their format) past the limit.
  Result<uint16_t> index_of(const StateRef& state);
  const std::vector<StateRef>& states() const { return states_; }
  size_t size() const { return states_.size(); }
  // The states by number; the palette is empty afterwards.
  std::vector<StateRef> take_states();

 private:
  std::vector<StateRef> states_;
  std::unordered_map<StateRef, uint16_t, StateRefHash> numbers_;
};

}  // namespace kubic
