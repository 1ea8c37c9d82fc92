#include "blocks/version_rules.h"

namespace kubic {

namespace {

constexpr BlockRename kRenames[] = {
    {"1.14", "sign", "oak_sign"},
    {"1.14", "wall_sign", "oak_wall_sign"},
    // The smooth slab took its own name; the new stone_slab is plain stone.
    {"1.14", "stone_slab", "smooth_stone_slab"},
    {"1.17", "grass_path", "dirt_path"},
    {"1.20.3", "grass", "short_grass"},
    {"1.21.9", "chain", "iron_chain"},
};

constexpr NewProperty kNewProperties[] = {
    {"1.15", "bell", "powered"},
    {"1.16.2", "chain", "axis"},
    {"1.16.2", "lantern", "waterlogged"},
    {"1.16.2", "soul_lantern", "waterlogged"},
    {"1.17", "*rail", "waterlogged"},
    {"1.19", "*_leaves", "waterlogged"},
    {"1.20", "decorated_pot", "cracked"},
    {"1.20.2", "barrier", "waterlogged"},
    {"1.20.2", "*_head", "powered"},
    {"1.20.2", "*_skull", "powered"},
    {"1.20.5", "trial_spawner", "ominous"},
};

constexpr ValueMapping kValueMappings[] = {
    // Wall sides: connected or not became none, low or tall.
    {"1.16", "*_wall", "north,east,south,west", "true>low,false>none", "none>false,low>true,tall>true"},
    // A note block's instrument follows the block under it, which the game
    // looks at again on the next update: an unknown one becomes the harp.
    {"1.14", "note_block", "instrument", "", "*>harp"},
    {"1.19.3", "note_block", "instrument", "", "*>harp"},
    {"26.1", "note_block", "instrument", "", "*>harp"},
};

std::string take(StateParts& state, std::string_view key) {
  const auto found = state.properties.find(key);
  if (found == state.properties.end()) return {};
  std::string value = std::move(found->second);
  state.properties.erase(found);
  return value;
}

// A cauldron with water became a block of its own.
void cauldron_up(StateParts& state) {
  if (state.properties["level"] != "0") state.name = "water_cauldron";
}
void cauldron_down(StateParts& state) { state.name = "cauldron"; }

// A jigsaw's facing became an orientation: the side it faces and the way
// its top turns.
void jigsaw_up(StateParts& state) {
  const std::string facing = take(state, "facing");
  state.properties["orientation"] = facing == "down" ? "down_south" : facing == "up" ? "up_north" : facing + "_up";
}
void jigsaw_down(StateParts& state) {
  const std::string orientation = take(state, "orientation");
  state.properties["facing"] = orientation.substr(0, orientation.find('_'));
}

// A fully grown torchflower crop is the flower.
void torchflower_crop_up(StateParts& state) {
  if (state.properties["age"] == "2") state = {"torchflower", {}};
}

// 1.21.4 folded the creaking heart's three states into active or not: a
// disabled heart (not between two logs) is the inactive one.
void creaking_heart_active_up(StateParts& state) {
  state.properties["active"] = take(state, "creaking") == "disabled" ? "false" : "true";
}
void creaking_heart_active_down(StateParts& state) {
  state.properties["creaking"] = take(state, "active") == "true" ? "dormant" : "disabled";
}

// 1.21.5 told a heart's day and night apart again.
void creaking_heart_state_up(StateParts& state) {
  state.properties["creaking_heart_state"] = take(state, "active") == "true" ? "awake" : "uprooted";
}
void creaking_heart_state_down(StateParts& state) {
  state.properties["active"] = take(state, "creaking_heart_state") == "uprooted" ? "false" : "true";
}

constexpr CustomRule kCustomRules[] = {
    {"1.16", "jigsaw", "jigsaw", "facing,orientation", jigsaw_up, jigsaw_down, false},
    {"1.17", "cauldron", "water_cauldron", "level", cauldron_up, cauldron_down, false},
    {"1.20", "torchflower_crop", "torchflower_crop", "age", torchflower_crop_up, nullptr, true},
    {"1.21.4", "creaking_heart", "creaking_heart", "creaking,active,natural", creaking_heart_active_up,
     creaking_heart_active_down, true},
    {"1.21.5", "creaking_heart", "creaking_heart", "active,creaking_heart_state", creaking_heart_state_up,
     creaking_heart_state_down, false},
};

}  // namespace

std::span<const BlockRename> block_renames() { return kRenames; }
std::span<const NewProperty> new_properties() { return kNewProperties; }
std::span<const ValueMapping> value_mappings() { return kValueMappings; }
std::span<const CustomRule> custom_rules() { return kCustomRules; }

bool names_block(std::string_view blocks, std::string_view name) {
  if (blocks.starts_with('*')) return name.ends_with(blocks.substr(1));
  return blocks == name;
}

}  // namespace kubic
