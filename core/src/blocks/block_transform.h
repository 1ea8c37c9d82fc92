#pragma once

#include <optional>

#include "common/axis_map.h"
#include "common/block_state.h"

namespace kubic {

// A block state as it looks after a turn or mirror of the whole build:
// directions as values (facing, axis, rotation, rail shapes, orientations),
// sides as keys (fences, walls, wire, vines), left and right under a mirror
// seen from above (stairs' shape, hinges, chest halves), top and bottom under
// a flip of y (halves, slabs, faces, bells, lanterns). `table` is the game
// version's block table that says what a block can show (-1: check nothing).
// Nothing when the block cannot show the result (a hopper facing up, stairs
// on their side): the caller keeps the state as it was. Gives `state` itself
// when nothing changes.
std::optional<StateRef> transform_state(const StateRef& state, const AxisMap& map, int table);

}  // namespace kubic
