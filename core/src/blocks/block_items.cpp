#include "blocks/block_items.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "common/text_util.h"

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";

struct ItemRow {
  std::string_view name;
  int stack_size;
};
constexpr ItemRow kItems[] = {
#include "blocks/items.inc"
};

// One rule from blocks to items. `blocks` is a name with at most one '*',
// which `items` may repeat; `when` a property's value the state must hold
// ("" for any); `items` the items one block takes, joined by '+', "" for
// none, "=" for the block's own. The first rule that matches decides.
struct ItemRule {
  std::string_view blocks;
  std::string_view when;
  std::string_view items;
};

constexpr ItemRule kRules[] = {
    // Nothing places these.
    {"air", "", ""}, {"cave_air", "", ""}, {"void_air", "", ""}, {"structure_void", "", ""},
    {"fire", "", ""}, {"soul_fire", "", ""}, {"nether_portal", "", ""}, {"end_portal", "", ""},
    {"end_gateway", "", ""}, {"piston_head", "", ""}, {"moving_piston", "", ""}, {"bubble_column", "", ""},
    {"frosted_ice", "", ""},
    // Two-cell blocks count in their lower or foot cell.
    {"*", "half=upper", ""}, {"*_bed", "part=head", ""},
    // Sources are buckets; flowing parts are nothing.
    {"water", "level=0", "water_bucket"}, {"water", "", ""}, {"lava", "level=0", "lava_bucket"}, {"lava", "", ""},
    {"powder_snow", "", "powder_snow_bucket"},
    {"*_slab", "type=double", "*_slab+*_slab"},
    // Wall variants are their item.
    {"wall_torch", "", "torch"}, {"*_wall_torch", "", "*_torch"}, {"*_wall_hanging_sign", "", "*_hanging_sign"},
    {"*_wall_sign", "", "*_sign"}, {"*_wall_banner", "", "*_banner"}, {"*_wall_head", "", "*_head"},
    {"*_wall_skull", "", "*_skull"}, {"*_wall_fan", "", "*_fan"},
    // Blocks another item places.
    {"redstone_wire", "", "redstone"}, {"tripwire", "", "string"}, {"cave_vines", "", "glow_berries"},
    {"cave_vines_plant", "", "glow_berries"}, {"kelp_plant", "", "kelp"}, {"*_vines_plant", "", "*_vines"},
    {"farmland", "", "dirt"}, {"dirt_path", "", "dirt"}, {"grass_path", "", "dirt"},
    {"potted_azalea_bush", "", "flower_pot+azalea"}, {"potted_flowering_azalea_bush", "", "flower_pot+flowering_azalea"},
    {"potted_*", "", "flower_pot+*"}, {"*candle_cake", "", "cake+*candle"},
    {"*_cauldron", "", "cauldron"}, {"bamboo_sapling", "", "bamboo"}, {"sweet_berry_bush", "", "sweet_berries"},
    {"pitcher_crop", "", "pitcher_pod"}, {"torchflower_crop", "", "torchflower_seeds"}, {"wheat", "", "wheat_seeds"},
    {"carrots", "", "carrot"}, {"potatoes", "", "potato"}, {"beetroots", "", "beetroot_seeds"},
    {"*melon_stem", "", "melon_seeds"}, {"*pumpkin_stem", "", "pumpkin_seeds"}, {"cocoa", "", "cocoa_beans"},
    {"tall_seagrass", "", "seagrass"}, {"big_dripleaf_stem", "", "big_dripleaf"},
};

// Properties that say how many items one block holds.
constexpr std::string_view kMultipliers[] = {"candles", "pickles", "eggs", "layers", "flower_amount",
                                             "segment_amount"};

// The part of `name` the '*' of `pattern` stands for, if it matches.
std::optional<std::string_view> wildcard_of(std::string_view pattern, std::string_view name) {
  const size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == name ? std::optional<std::string_view>("") : std::nullopt;
  const std::string_view before = pattern.substr(0, star), after = pattern.substr(star + 1);
  if (name.size() < before.size() + after.size() || !name.starts_with(before) || !name.ends_with(after)) {
    return std::nullopt;
  }
  return name.substr(before.size(), name.size() - before.size() - after.size());
}

bool holds(const BlockState& state, std::string_view when) {
  if (when.empty()) return true;
  const size_t equals = when.find('=');
  return std::any_of(state.properties().begin(), state.properties().end(), [&](const auto& entry) {
    return entry.first == when.substr(0, equals) && entry.second == when.substr(equals + 1);
  });
}

uint64_t per_block(const BlockState& state) {
  for (const auto& [key, value] : state.properties()) {
    if (std::find(std::begin(kMultipliers), std::end(kMultipliers), key) == std::end(kMultipliers)) continue;
    uint64_t number = 0;
    for (char c : value) {
      if (c < '0' || c > '9') return 1;
      number = number * 10 + uint64_t(c - '0');
    }
    return std::max<uint64_t>(number, 1);
  }
  return 1;
}

void add_items(std::string_view items, std::string_view wildcard, uint64_t count, ItemCounts& counts) {
  for (std::string_view item : split_text(items, '+')) {
    std::string name(kNamespace);
    for (char c : item) {
      if (c == '*') {
        name += wildcard;
      } else {
        name += c;
      }
    }
    counts[name] += count;
  }
}

std::optional<uint64_t> count_of(const Compound& item) {
  for (const char* key : {"count", "Count"}) {
    if (const Tag* tag = item.get(key)) {
      const auto number = tag->int_value();
      return number && *number > 0 ? std::optional<uint64_t>(uint64_t(*number)) : std::nullopt;
    }
  }
  return 1;
}

void add_stacks(const ListTag* list, ItemCounts& counts);

// One stack, and what a shulker box (or any item) it is holds: 1.20.5's
// "minecraft:container" component, or the older "BlockEntityTag".
void add_stack(const Compound& item, ItemCounts& counts) {
  const std::string* id = item.get_as<std::string>("id");
  const auto count = count_of(item);
  if (!id || !count) return;
  counts[id->starts_with(kNamespace) || id->find(':') != std::string::npos ? *id : std::string(kNamespace) + *id] +=
      *count;
  if (const Compound* components = item.get_as<Compound>("components")) {
    if (const ListTag* slots = components->get_as<ListTag>("minecraft:container")) {
      for (const Tag& slot : slots->items) {
        const Compound* entry = slot.as<Compound>();
        const Compound* inner = entry ? entry->get_as<Compound>("item") : nullptr;
        if (inner) add_stack(*inner, counts);
      }
    }
  }
  const Compound* tag = item.get_as<Compound>("tag");
  const Compound* block_entity = tag ? tag->get_as<Compound>("BlockEntityTag") : nullptr;
  if (block_entity) add_stacks(block_entity->get_as<ListTag>("Items"), counts);
}

void add_stacks(const ListTag* list, ItemCounts& counts) {
  for (size_t i = 0; list && i < list->items.size(); ++i) {
    if (const Compound* item = list->items[i].as<Compound>()) add_stack(*item, counts);
  }
}

const ItemRow* find_item(std::string_view item) {
  if (item.starts_with(kNamespace)) item.remove_prefix(kNamespace.size());
  const auto found = std::lower_bound(std::begin(kItems), std::end(kItems), item,
                                      [](const ItemRow& row, std::string_view n) { return row.name < n; });
  return found != std::end(kItems) && found->name == item ? found : nullptr;
}

}  // namespace

void add_items_of_block(const BlockState& state, uint64_t blocks, ItemCounts& counts) {
  if (!state.name().starts_with(kNamespace)) {
    counts[state.name()] += blocks;
    return;
  }
  const std::string_view name = std::string_view(state.name()).substr(kNamespace.size());
  const uint64_t count = blocks * per_block(state);
  for (const ItemRule& rule : kRules) {
    const auto wildcard = wildcard_of(rule.blocks, name);
    if (!wildcard || !holds(state, rule.when)) continue;
    if (rule.items == "=") {
      counts[state.name()] += count;
    } else {
      add_items(rule.items, *wildcard, count, counts);
    }
    return;
  }
  counts[state.name()] += count;
}

void add_held_items(const Compound& data, ItemCounts& counts) {
  add_stacks(data.get_as<ListTag>("Items"), counts);
  for (const char* key : {"Item", "RecordItem", "item"}) {
    if (const Compound* item = data.get_as<Compound>(key)) add_stack(*item, counts);
  }
}

int item_stack_size(std::string_view item) {
  const ItemRow* row = find_item(item);
  return row ? row->stack_size : 64;
}

bool is_known_item(std::string_view item) { return find_item(item) != nullptr; }

}  // namespace kubic
