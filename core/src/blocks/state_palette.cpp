#include "blocks/state_palette.h"

namespace kubic {

StatePalette::StatePalette() : states_{BlockState::air_rc()}, numbers_{{BlockState::air_rc(), 0}} {}

Result<uint16_t> StatePalette::index_of(const StateRef& state) {
  auto [found, added] = numbers_.emplace(state, uint16_t(states_.size()));
  if (added) {
    if (states_.size() >= kMaxStates) {
      numbers_.erase(found);
      return Status::Error("more than 65536 distinct states");
    }
    states_.push_back(state);
  }
  return found->second;
}

std::vector<StateRef> StatePalette::take_states() {
  numbers_.clear();
  return std::move(states_);
}

}  // namespace kubic
