#include "formats/mcedit/flower_pots.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "formats/mcedit/legacy_ids.h"

namespace kubic {

namespace {

// The plants of Minecraft 1.13.2's potted_* blocks.
constexpr std::string_view kPottable[] = {
    "acacia_sapling", "allium",         "azure_bluet", "birch_sapling",  "blue_orchid",     "brown_mushroom",
    "cactus",         "dandelion",      "dark_oak_sapling", "dead_bush", "fern",            "jungle_sapling",
    "oak_sapling",    "orange_tulip",   "oxeye_daisy", "pink_tulip",     "poppy",           "red_mushroom",
    "red_tulip",      "spruce_sapling", "white_tulip"};

std::optional<uint32_t> item_id(const Tag& item) {
  if (const auto* name = item.as<std::string>()) return legacy_block_id(*name);
  if (const auto* number = item.as<int32_t>(); number && *number > 0) return uint32_t(*number);
  if (const auto* number = item.as<int16_t>(); number && *number > 0) return uint32_t(*number);
  return std::nullopt;
}

}  // namespace

bool is_flower_pot_entity(const Compound& block_entity) {
  const auto* id = block_entity.get_as<std::string>("id");
  return id && (*id == "FlowerPot" || *id == "minecraft:flower_pot");
}

std::optional<StateRef> potted_state(const Compound& block_entity) {
  const Tag* item = block_entity.get("Item");
  const auto id = item ? item_id(*item) : std::nullopt;
  if (!id) return std::nullopt;
  const auto* data = block_entity.get_as<int32_t>("Data");
  const uint8_t variant = data && *data >= 0 && *data < 16 ? uint8_t(*data) : 0;
  auto plant = convert_legacy_data_to_modern_properties(*id, variant);
  if (!plant) return std::nullopt;
  const std::string_view name = std::string_view((*plant)->name()).substr(std::string_view("minecraft:").size());
  if (std::find(std::begin(kPottable), std::end(kPottable), name) == std::end(kPottable)) return std::nullopt;
  return BlockState::create("minecraft:potted_" + std::string(name));
}

}  // namespace kubic
