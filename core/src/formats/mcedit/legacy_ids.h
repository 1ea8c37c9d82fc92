#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/block_state.h"

namespace kubic {

// The modern name of a legacy block id with its data value, from the fixed
// table: key "id" for data 0, "id:data" otherwise. Nothing when absent.
std::optional<std::string> get_legacy_type(uint32_t id, uint8_t data);

// Name and properties for block families whose data value encodes their
// state (stairs, doors, torches, ...); nothing when the row gives none.
std::optional<StateRef> convert_legacy_data_to_modern_properties(uint32_t id, uint8_t data);

// The numeric id of a Minecraft 1.12 block name ("red_flower" or
// "minecraft:red_flower": 38), as block entities of that time name blocks.
std::optional<uint32_t> legacy_block_id(std::string_view name);

}  // namespace kubic
