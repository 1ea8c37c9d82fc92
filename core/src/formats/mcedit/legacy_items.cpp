#include "formats/mcedit/legacy_items.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace kubic {

namespace {

struct ItemVariant {
  uint16_t id;
  uint16_t damage;
  std::string_view name;
};

constexpr ItemVariant kVariants[] = {
#include "formats/mcedit/legacy_items.inc"
};

struct ItemName {
  std::string_view name;
  uint16_t id;
};

constexpr ItemName kNames[] = {
#include "formats/mcedit/legacy_item_names.inc"
};

std::optional<uint16_t> numeric_id(const Tag& id) {
  if (auto number = id.int_value()) {
    return *number >= 0 && *number <= UINT16_MAX ? std::optional<uint16_t>(uint16_t(*number)) : std::nullopt;
  }
  const auto* text = id.as<std::string>();
  if (!text) return std::nullopt;
  std::string_view name = *text;
  if (name.starts_with("minecraft:")) name.remove_prefix(10);
  const auto found = std::lower_bound(std::begin(kNames), std::end(kNames), name,
                                      [](const ItemName& entry, std::string_view key) { return entry.name < key; });
  if (found == std::end(kNames) || found->name != name) return std::nullopt;
  return found->id;
}

const ItemVariant* variant(uint16_t id, int32_t damage) {
  if (damage < 0 || damage > UINT16_MAX) return nullptr;
  const auto found = std::lower_bound(std::begin(kVariants), std::end(kVariants), std::pair{id, uint16_t(damage)},
                                      [](const ItemVariant& entry, const std::pair<uint16_t, uint16_t>& key) {
                                        return std::pair{entry.id, entry.damage} < key;
                                      });
  if (found == std::end(kVariants) || found->id != id || found->damage != damage) return nullptr;
  return found;
}

void flatten_item(Compound& item) {
  const Tag* id_tag = item.get("id");
  const auto id = id_tag ? numeric_id(*id_tag) : std::nullopt;
  if (!id) return;
  const Tag* damage_tag = item.get("Damage");
  const int32_t damage = damage_tag ? damage_tag->int_value().value_or(0) : 0;
  const ItemVariant* exact = variant(*id, damage);
  const ItemVariant* found = exact ? exact : variant(*id, 0);
  if (!found) return;
  item.put("id", Tag{std::string(found->name)});
  item.take("Damage");
  // A map's damage was its number, which 1.13 keeps as "map".
  const bool map = found->name == "minecraft:filled_map";
  if (!map && (exact || damage == 0)) return;
  Compound tag = item.get_as<Compound>("tag") ? *item.get_as<Compound>("tag") : Compound();
  tag.put(map ? "map" : "Damage", Tag{damage});
  item.put("tag", Tag{std::move(tag)});
}

}  // namespace

void flatten_items_of(Compound& holder) {
  if (Tag* items = holder.get("Items")) {
    if (auto* list = std::get_if<ListTag>(&items->value)) {
      for (Tag& entry : list->items) {
        if (auto* item = std::get_if<Compound>(&entry.value)) flatten_item(*item);
      }
    }
  }
  if (Tag* item = holder.get("Item")) {
    if (auto* compound = std::get_if<Compound>(&item->value)) flatten_item(*compound);
  }
}

}  // namespace kubic
