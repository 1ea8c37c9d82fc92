#pragma once

#include <optional>

#include "common/block_state.h"
#include "nbt/tag.h"

namespace kubic {

// The 1.13 state of a block whose 1.12 block entity says what its data
// value could not: a flower pot's plant ("Item" by name or numeric id and
// "Data"), a bed's colour ("color"), a banner's colour ("Base"), a skull's
// kind and rotation ("SkullType", "Rot"), a note block's note ("note").
// Nothing when the block entity does not belong to `state`'s block or
// says nothing new; the block entity decides over the data value.
std::optional<StateRef> state_from_block_entity(const BlockState& state, const Compound& block_entity);

}  // namespace kubic
