#pragma once

#include <string_view>

#include "common/block_state.h"
#include "common/status.h"

namespace kubic {

// The state a Sponge palette key names: a resource location without a
// namespace is in "minecraft" (`planks` is `minecraft:planks`), as the
// format says and tools other than WorldEdit write. The one reading of a
// key, for the reader and for the writer's check that its keys read back.
Result<StateRef> state_of_palette_key(std::string_view key);

}  // namespace kubic
