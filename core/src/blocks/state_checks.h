#pragma once

#include <string_view>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic {

// What a person names for an edit, held to the block table of a game
// version (`table`, as `GameVersion::block_table`). Blocks of other
// namespaces than minecraft's cannot be checked and pass as they are.

// Fails, naming the block, unless `name` ("minecraft:oak_stairs") is a
// block of that version.
Status check_block_name(std::string_view name, int table);

// Fails, naming the state and the fault, unless the version has the state:
// its block, exactly its properties, each value allowed.
Status check_state(const BlockState& state, int table);

// `state` as block `name`, keeping the properties both blocks have where the
// value is allowed, the others at their defaults (oak_stairs to
// spruce_stairs keeps facing, half, shape and waterlogged).
StateRef state_as_block(const BlockState& state, std::string_view name, int table);

}  // namespace kubic
