#pragma once

#include <optional>

#include "common/block_state.h"
#include "nbt/tag.h"

namespace kubic {

// Whether a 1.12 block entity is a flower pot's ("FlowerPot" before 1.11).
bool is_flower_pot_entity(const Compound& block_entity);

// The 1.13 state of a 1.12 flower pot whose block entity names its plant
// ("Item" by name or numeric id, "Data" its variant): potted_<plant> for a
// plant 1.13 pots, nothing for an empty pot or another item.
std::optional<StateRef> potted_state(const Compound& block_entity);

}  // namespace kubic
