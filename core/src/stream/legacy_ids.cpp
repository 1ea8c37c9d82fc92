#include "stream/legacy_ids.h"

#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include <nlohmann/json.hpp>

namespace kubic {

namespace {

using Properties = std::vector<BlockState::Property>;

constexpr const char* kTableJson =
#include "stream/legacy_ids_table.inc"
    ;

const std::unordered_map<std::string, std::string>& legacy_table() {
  // Parsed once per process; function-local statics are thread-safe.
  static const std::unordered_map<std::string, std::string> table = [] {
    auto json = nlohmann::json::parse(kTableJson, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
      std::fputs("Failed to parse legacy IDs JSON\n", stderr);
      std::abort();
    }
    std::unordered_map<std::string, std::string> map;
    for (const auto& [key, value] : json.items()) map.emplace(key, value.get<std::string>());
    return map;
  }();
  return table;
}

const char* flag(bool value) { return value ? "true" : "false"; }

template <size_t N>
const char* pick(const char* const (&names)[N], unsigned index, const char* otherwise) {
  return index < N ? names[index] : otherwise;
}

const char* half(uint8_t data, uint8_t bit) { return (data & bit) ? "top" : "bottom"; }

Properties fence_sides(uint8_t data) {
  return {{"north", flag(data & 1)}, {"east", flag(data & 2)}, {"south", flag(data & 4)},
          {"west", flag(data & 8)}};
}

const char* const kSixFacings[] = {"down", "up", "north", "south", "west", "east"};
const char* const kNsweFacings[] = {"north", "south", "west", "east"};
const char* const kSweFacings[] = {"south", "west", "east"};
const char* const kSlabMaterials[] = {"stone", "sandstone", "wooden", "cobblestone",
                                      "brick", "smooth_stone", "nether_brick", "quartz"};

// Facing for data & 7 of 1, 2, 3 as south, west, east; north otherwise.
const char* south_west_east(uint8_t data) {
  unsigned d = data & 7;
  return d >= 1 && d <= 3 ? kSweFacings[d - 1] : "north";
}

bool is_one_of(uint32_t id, std::initializer_list<uint32_t> ids) {
  for (uint32_t candidate : ids) {
    if (candidate == id) return true;
  }
  return false;
}

std::optional<StateRef> make(std::optional<std::string> name, Properties properties) {
  if (!name) return std::nullopt;
  return BlockState::create(std::move(*name), std::move(properties));
}

std::optional<StateRef> torch(uint32_t id, uint8_t data) {
  bool wall = data >= 1 && data <= 4;
  const char* const wall_facings[] = {"east", "west", "south", "north"};
  std::string name = id == 50 ? (wall ? "minecraft:wall_torch" : "minecraft:torch")
                              : (wall ? "minecraft:redstone_wall_torch" : "minecraft:redstone_torch");
  return BlockState::create(name, {{"facing", wall ? wall_facings[data - 1] : "up"},
                                   {"lit", id == 75 ? "false" : "true"}});
}

std::optional<StateRef> door(std::optional<std::string> name, uint8_t data) {
  bool upper = data & 8;
  return make(std::move(name), {{"half", half(data, 8)},
                                {"facing", south_west_east(data)},
                                {"open", flag(data & 4)},
                                {"hinge", upper ? ((data & 1) ? "right" : "left") : "none"},
                                {"powered", upper ? flag(data & 2) : "false"}});
}

}  // namespace

std::optional<std::string> get_legacy_type(uint32_t id, uint8_t data) {
  std::string key = data == 0 ? std::to_string(id) : std::to_string(id) + ":" + std::to_string(data);
  const auto& table = legacy_table();
  auto found = table.find(key);
  if (found == table.end()) return std::nullopt;
  return found->second;
}

std::optional<StateRef> convert_legacy_data_to_modern_properties(uint32_t id, uint8_t data) {
  auto table_name = [&] { return get_legacy_type(id, 0); };
  unsigned d7 = data & 7;
  if (is_one_of(id, {8, 9, 10, 11})) return make(table_name(), {{"level", std::to_string(data & 15)}});
  if (is_one_of(id, {17, 162})) {
    // The wood type lives in the low two bits; the axis in the next two.
    const char* const axes[] = {"y", "x", "z", "none"};
    return make(get_legacy_type(id, data & 3), {{"axis", axes[(data >> 2) & 3]}});
  }
  if (id == 18) {
    const char* const woods[] = {"oak", "spruce", "birch", "jungle"};
    return BlockState::create(std::string("minecraft:") + woods[data & 3] + "_leaves",
                              {{"decayable", flag(!(data & 4))}, {"check_decay", flag(!(data & 8))}});
  }
  if (is_one_of(id, {23, 158, 29, 33})) {
    if (d7 >= 6) return std::nullopt;
    const char* key = (id == 23 || id == 158) ? "triggered" : "extended";
    return make(table_name(), {{"facing", kSixFacings[d7]}, {key, flag(data & 8)}});
  }
  if (id == 26) {
    const char* const facings[] = {"south", "west", "north", "east"};
    return make(table_name(), {{"facing", facings[data & 3]}, {"part", (data & 8) ? "head" : "foot"}});
  }
  if (id == 43) return BlockState::create(std::string("minecraft:double_") + kSlabMaterials[d7] + "_slab");
  if (id == 44) {
    return BlockState::create(std::string("minecraft:") + kSlabMaterials[d7] + "_slab",
                              {{"half", half(data, 8)}});
  }
  if (is_one_of(id, {50, 75, 76})) return torch(id, data);
  if (is_one_of(id, {53, 67, 108, 109, 114, 128, 134, 135, 136, 156, 163, 164, 180})) {
    const char* const facings[] = {"east", "west", "south", "north"};
    return make(table_name(),
                {{"facing", facings[data & 3]}, {"half", half(data, 4)}, {"shape", "straight"}});
  }
  if (is_one_of(id, {54, 61, 62, 65, 68, 130})) {
    const char* const facings[] = {"south", "west", "east"};
    return make(table_name(), {{"facing", data >= 3 && data <= 5 ? facings[data - 3] : "north"}});
  }
  if (id == 55) return make(table_name(), {{"power", std::to_string(data & 15)}});
  if (id == 63) {
    const char* const facings[] = {"west", "north", "east"};
    return make(table_name(), {{"facing", data >= 1 && data <= 3 ? facings[data - 1] : "south"}});
  }
  if (is_one_of(id, {64, 71, 193, 194, 195, 196, 197})) return door(table_name(), data);
  if (id == 66) {
    const char* const shapes[] = {"north_south",     "east_west",       "ascending_east", "ascending_west",
                                  "ascending_north", "ascending_south", "south_east",     "south_west"};
    return make(table_name(), {{"shape", shapes[d7]}});
  }
  if (id == 69) {
    const char* const facings[] = {"down", "east", "west", "south", "north", "up"};
    const char* const faces[] = {"floor", "wall", "wall", "wall", "wall", "ceiling"};
    return make(table_name(), {{"facing", pick(facings, d7, "up")},
                               {"powered", flag(data & 8)},
                               {"face", pick(faces, d7, "wall")}});
  }
  if (is_one_of(id, {77, 143})) {
    const char* const facings[] = {"north", "east", "west", "south", "north", "north"};
    const char* const faces[] = {"ceiling", "wall", "wall", "wall", "wall", "floor"};
    return make(table_name(), {{"facing", pick(facings, d7, "north")},
                               {"powered", flag(data & 8)},
                               {"face", pick(faces, d7, "wall")}});
  }
  if (is_one_of(id, {85, 139, 140, 141, 142, 155, 101, 102, 160, 106, 188, 189, 190, 191, 192})) {
    return make(table_name(), fence_sides(data));
  }
  if (is_one_of(id, {86, 103, 176, 177})) return make(table_name(), {{"facing", south_west_east(data)}});
  if (id == 92) return make(table_name(), {{"bites", std::to_string(d7)}});
  if (is_one_of(id, {93, 94})) {
    return make(table_name(), {{"facing", kNsweFacings[data & 3]},
                               {"delay", std::to_string(((data >> 2) & 3) + 1)},
                               {"powered", flag(id == 94)}});
  }
  if (is_one_of(id, {96, 107})) {
    return make(table_name(),
                {{"facing", kNsweFacings[data & 3]}, {"half", half(data, 4)}, {"open", flag(data & 8)}});
  }
  if (id == 120) return make(table_name(), {{"facing", south_west_east(data)}, {"eye", flag(data & 8)}});
  if (id == 126) {
    const char* const woods[] = {"oak", "spruce", "birch", "jungle", "acacia", "dark_oak"};
    return BlockState::create(std::string("minecraft:") + pick(woods, d7, "oak") + "_slab",
                              {{"half", half(data, 8)}});
  }
  if (is_one_of(id, {149, 150})) {
    return make(table_name(), {{"facing", kNsweFacings[data & 3]},
                               {"mode", (data & 8) ? "subtract" : "compare"},
                               {"powered", flag(id == 150)}});
  }
  if (id == 154) {
    const char* const facings[] = {"north", "south", "west", "east"};
    return make(table_name(), {{"facing", d7 >= 2 && d7 <= 5 ? facings[d7 - 2] : "down"},
                               {"enabled", flag(!(data & 8))}});
  }
  if (is_one_of(id, {182, 205})) return make(table_name(), {{"half", half(data, 8)}});
  if (is_one_of(id, {183, 184, 185, 186, 187})) {
    return make(table_name(),
                {{"facing", kNsweFacings[data & 3]}, {"open", flag(data & 4)}, {"powered", flag(data & 8)}});
  }
  auto plain = table_name();
  return make(plain ? plain : get_legacy_type(id, data), {});
}

}  // namespace kubic
