#include "formats/mcedit/block_entity_states.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "formats/mcedit/legacy_ids.h"

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";
// Colours in data-value order (white 0 to black 15).
constexpr std::string_view kColours[] = {"white", "orange", "magenta", "light_blue", "yellow", "lime",
                                         "pink",  "gray",   "light_gray", "cyan",   "purple", "blue",
                                         "brown", "green",  "red",     "black"};
// The plants of Minecraft 1.13.2's potted_* blocks.
constexpr std::string_view kPottable[] = {
    "acacia_sapling", "allium",         "azure_bluet", "birch_sapling",  "blue_orchid",     "brown_mushroom",
    "cactus",         "dandelion",      "dark_oak_sapling", "dead_bush", "fern",            "jungle_sapling",
    "oak_sapling",    "orange_tulip",   "oxeye_daisy", "pink_tulip",     "poppy",           "red_mushroom",
    "red_tulip",      "spruce_sapling", "white_tulip"};
// By "SkullType": the floor block and the wall block.
constexpr std::pair<std::string_view, std::string_view> kSkulls[] = {
    {"skeleton_skull", "skeleton_wall_skull"}, {"wither_skeleton_skull", "wither_skeleton_wall_skull"},
    {"zombie_head", "zombie_wall_head"},       {"player_head", "player_wall_head"},
    {"creeper_head", "creeper_wall_head"},     {"dragon_head", "dragon_wall_head"}};

std::optional<int32_t> whole_number(const Compound& tags, std::string_view name) {
  const Tag* tag = tags.get(name);
  return tag ? tag->int_value() : std::nullopt;
}

std::string_view path_of(const BlockState& state) {
  std::string_view name = state.name();
  return name.starts_with(kNamespace) ? name.substr(kNamespace.size()) : name;
}

StateRef renamed(const BlockState& state, std::string_view path, std::vector<BlockState::Property> changed = {}) {
  auto properties = state.properties();
  for (const auto& [key, value] : changed) assign_property(properties, key, value);
  return BlockState::create(std::string(kNamespace) + std::string(path), std::move(properties));
}

bool is_pot(std::string_view path) { return path == "flower_pot" || path.starts_with("potted_"); }

std::optional<uint32_t> item_id(const Tag& item) {
  if (const auto* name = item.as<std::string>()) return legacy_block_id(*name);
  if (const auto number = item.int_value(); number && *number > 0) return uint32_t(*number);
  return std::nullopt;
}

// The plant's path when 1.13 pots it.
std::optional<std::string_view> potted_plant(const Compound& pot) {
  const Tag* item = pot.get("Item");
  const auto id = item ? item_id(*item) : std::nullopt;
  if (!id) return std::nullopt;
  const auto data = whole_number(pot, "Data").value_or(0);
  const auto plant = convert_legacy_data_to_modern_properties(*id, data >= 0 && data < 16 ? uint8_t(data) : 0);
  if (!plant) return std::nullopt;
  const auto found = std::find(std::begin(kPottable), std::end(kPottable), path_of(**plant));
  if (found == std::end(kPottable)) return std::nullopt;
  return *found;
}

StateRef pot_state(const Compound& pot) {
  const auto plant = potted_plant(pot);
  return BlockState::create(std::string(kNamespace) + (plant ? "potted_" + std::string(*plant) : "flower_pot"));
}

// Beds and banners: the colour replaces the name's first word ("red_bed").
std::optional<StateRef> coloured(const BlockState& state, std::string_view suffix, std::optional<int32_t> colour) {
  if (!colour || *colour < 0 || *colour > 15) return std::nullopt;
  return renamed(state, std::string(kColours[*colour]) + std::string(suffix));
}

std::optional<StateRef> skull_state(const BlockState& state, const Compound& skull) {
  const auto kind = whole_number(skull, "SkullType");
  if (!kind || *kind < 0 || *kind >= int32_t(std::size(kSkulls))) return std::nullopt;
  const bool wall = path_of(state).find("_wall_") != std::string_view::npos;
  if (wall) return renamed(state, kSkulls[*kind].second);
  const auto rotation = whole_number(skull, "Rot").value_or(0);
  return renamed(state, kSkulls[*kind].first, {{"rotation", std::to_string(rotation & 15)}});
}

}  // namespace

std::optional<StateRef> state_from_block_entity(const BlockState& state, const Compound& block_entity) {
  const auto* id = block_entity.get_as<std::string>("id");
  if (!id) return std::nullopt;
  const std::string_view path = path_of(state);
  if ((*id == "FlowerPot" || *id == "minecraft:flower_pot") && is_pot(path)) return pot_state(block_entity);
  if (*id == "minecraft:bed" && path.ends_with("_bed")) return coloured(state, "_bed", whole_number(block_entity, "color"));
  if ((*id == "Banner" || *id == "minecraft:banner") && path.ends_with("banner")) {
    // "Base" counts dye colours from black: 15 - it is the colour's data value.
    const auto base = whole_number(block_entity, "Base");
    const bool wall = path.ends_with("_wall_banner");
    return coloured(state, wall ? "_wall_banner" : "_banner", base ? std::optional<int32_t>(15 - *base) : std::nullopt);
  }
  if ((*id == "Skull" || *id == "minecraft:skull") && (path.ends_with("_skull") || path.ends_with("_head"))) {
    return skull_state(state, block_entity);
  }
  if ((*id == "Music" || *id == "minecraft:noteblock") && path == "note_block") {
    const auto note = whole_number(block_entity, "note");
    if (!note || *note < 0 || *note > 24) return std::nullopt;
    return renamed(state, path, {{"note", std::to_string(*note)}});
  }
  return std::nullopt;
}

}  // namespace kubic
