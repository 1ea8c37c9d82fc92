#pragma once

#include "common/block_state.h"

namespace kubic {

// Plain air: "minecraft:air" without properties, what a position no block
// covers holds. Cave and void air, and air with properties, are states a
// file chose to list, kept as such. (BlockState::is_air() says whether a
// state is any of the three airs.)
inline bool is_plain_air(const BlockState& state) {
  return state.name() == "minecraft:air" && state.properties().empty();
}

}  // namespace kubic
