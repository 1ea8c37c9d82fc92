#include "formats/mcedit/legacy_ids.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include <nlohmann/json.hpp>

namespace kubic {

namespace {

// Every converted state is a Minecraft 1.13.2 block with exactly that
// block's properties, in the game's own (sorted) order: what the legacy
// data says, and the game's defaults where it says nothing, as the game's
// own converter does. Data values that 1.12 itself never produced for a
// family give nothing.
using Properties = std::vector<BlockState::Property>;
using Converted = std::optional<StateRef>;

constexpr const char* kTableJson =
#include "formats/mcedit/legacy_ids_table.inc"
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
std::string number(unsigned value) { return std::to_string(value); }

template <size_t N>
const char* pick(const char* const (&names)[N], unsigned index, const char* otherwise) {
  return index < N ? names[index] : otherwise;
}

// The orders in which 1.12 stored directions in data values.
const char* const kByFront[] = {"down", "up", "north", "south", "west", "east"};  // 0 to 5
const char* const kByHorizontal[] = {"south", "west", "north", "east"};           // data & 3
const char* const kWoods[] = {"oak", "spruce", "birch", "jungle", "acacia", "dark_oak"};
const char* const kStoneSlabs[] = {"stone", "sandstone", "petrified_oak", "cobblestone",
                                   "brick", "stone_brick", "nether_brick", "quartz"};

// Wall-mounted blocks: 2 to 5 as north, south, west, east; north otherwise.
const char* wall_facing(uint8_t data) { return data >= 2 && data <= 5 ? kByFront[data] : "north"; }

Converted make(std::string name, Properties properties = {}) {
  return BlockState::create("minecraft:" + std::move(name), std::move(properties));
}

// The plain name of a legacy key without its "minecraft:" prefix.
std::optional<std::string> table_name(uint32_t id, uint8_t data) {
  auto name = get_legacy_type(id, data);
  if (!name) return std::nullopt;
  return name->substr(10);
}

// Blocks without properties: the exact key, else the plain id (1.12 read
// an unknown variant as the family's first).
Converted plain(uint32_t id, uint8_t data) {
  auto name = table_name(id, data);
  if (!name) name = table_name(id, 0);
  if (!name) return std::nullopt;
  return make(*name);
}

Converted axis_block(const std::string& name, uint8_t data) {
  const char* const axes[] = {"y", "x", "z"};
  return make(name, {{"axis", pick(axes, (data >> 2) & 3, "y")}});
}

Converted log(uint32_t id, uint8_t data) {
  unsigned wood = (id == 17 ? 0 : 4) + (data & 3);
  if (wood > 5) return std::nullopt;
  // Bark on every side (axis bits 12) is the wood block.
  if ((data & 12) == 12) return make(std::string(kWoods[wood]) + "_wood", {{"axis", "y"}});
  return axis_block(std::string(kWoods[wood]) + "_log", data);
}

Converted leaves(uint32_t id, uint8_t data) {
  unsigned wood = (id == 18 ? 0 : 4) + (data & 3);
  if (wood > 5) return std::nullopt;
  return make(std::string(kWoods[wood]) + "_leaves", {{"distance", "7"}, {"persistent", flag(data & 4)}});
}

Converted slab(std::string name, uint8_t data, bool is_double) {
  const char* type = is_double ? "double" : ((data & 8) ? "top" : "bottom");
  return make(std::move(name) + "_slab", {{"type", type}, {"waterlogged", "false"}});
}

Converted stone_slab(uint32_t id, uint8_t data) {
  bool is_double = id == 43;
  // Seamless double slabs are full blocks of their own.
  if (is_double && data == 8) return make("smooth_stone");
  if (is_double && data == 9) return make("smooth_sandstone");
  if (is_double && data == 15) return make("smooth_quartz");
  return slab(kStoneSlabs[data & 7], data, is_double);
}

Converted sided_slab(uint32_t id, uint8_t data) {
  switch (id) {
    case 125:
    case 126:
      if ((data & 7) > 5) return std::nullopt;
      return slab(kWoods[data & 7], data, id == 125);
    case 181:
      return (data & 8) ? make("smooth_red_sandstone") : slab("red_sandstone", data, true);
    case 182:
      return slab("red_sandstone", data, false);
    case 204:
      return slab("purpur", data, true);
    default:
      return slab("purpur", data, false);
  }
}

Converted torch(uint32_t id, uint8_t data) {
  const char* const wall_facings[] = {"east", "west", "south", "north"};
  bool wall = data >= 1 && data <= 4;
  if (id == 50) return wall ? make("wall_torch", {{"facing", wall_facings[data - 1]}}) : make("torch");
  const char* lit = flag(id == 76);
  if (wall) return make("redstone_wall_torch", {{"facing", wall_facings[data - 1]}, {"lit", lit}});
  return make("redstone_torch", {{"lit", lit}});
}

Converted stairs(const std::string& name, uint8_t data) {
  const char* const facings[] = {"east", "west", "south", "north"};
  return make(name, {{"facing", facings[data & 3]},
                     {"half", (data & 4) ? "top" : "bottom"},
                     {"shape", "straight"},
                     {"waterlogged", "false"}});
}

// 1.12 stored a door's facing and opening in the lower half and its hinge
// and power in the upper; each half keeps what it knows.
Converted door(const std::string& name, uint8_t data) {
  const char* const facings[] = {"east", "south", "west", "north"};
  bool upper = data & 8;
  return make(name, {{"facing", upper ? "north" : facings[data & 3]},
                     {"half", upper ? "upper" : "lower"},
                     {"hinge", upper && (data & 1) ? "right" : "left"},
                     {"open", flag(!upper && (data & 4))},
                     {"powered", flag(upper && (data & 2))}});
}

Converted rail(uint32_t id, uint8_t data) {
  const char* const shapes[] = {"north_south",     "east_west",       "ascending_east", "ascending_west",
                                "ascending_north", "ascending_south", "south_east",     "south_west",
                                "north_west",      "north_east"};
  if (id == 66) return data < 10 ? make("rail", {{"shape", shapes[data]}}) : std::nullopt;
  if ((data & 7) > 5) return std::nullopt;
  return make(*table_name(id, 0), {{"powered", flag(data & 8)}, {"shape", shapes[data & 7]}});
}

Converted facing_six(const std::string& name, uint8_t data, const char* flag_key) {
  if ((data & 7) > 5) return std::nullopt;
  return make(name, {{flag_key, flag(data & 8)}, {"facing", kByFront[data & 7]}});
}

Converted dispenser(const std::string& name, uint8_t data) {
  if ((data & 7) > 5) return std::nullopt;
  return make(name, {{"facing", kByFront[data & 7]}, {"triggered", flag(data & 8)}});
}

Converted command_block(const std::string& name, uint8_t data) {
  if ((data & 7) > 5) return std::nullopt;
  return make(name, {{"conditional", flag(data & 8)}, {"facing", kByFront[data & 7]}});
}

Converted lever(uint8_t data) {
  // 0 and 7: on the ceiling along x and z; 5 and 6: on the floor along z and x.
  const char* const faces[] = {"ceiling", "wall", "wall", "wall", "wall", "floor", "floor", "ceiling"};
  const char* const facings[] = {"west", "east", "west", "south", "north", "north", "west", "north"};
  return make("lever", {{"face", faces[data & 7]}, {"facing", facings[data & 7]}, {"powered", flag(data & 8)}});
}

Converted button(const std::string& name, uint8_t data) {
  unsigned d = data & 7;
  const char* face = d == 0 ? "ceiling" : (d >= 5 ? "floor" : "wall");
  const char* facing = (d >= 1 && d <= 4) ? kByFront[6 - d] : "north";  // 1 to 4: east, west, south, north
  return make(name, {{"face", face}, {"facing", facing}, {"powered", flag(data & 8)}});
}

Converted connected(const std::string& name, bool waterlogged, bool up = false) {
  Properties properties = {{"east", "false"}, {"north", "false"}, {"south", "false"}};
  if (up) properties.emplace_back("up", "true");
  if (waterlogged) properties.emplace_back("waterlogged", "false");
  properties.emplace_back("west", "false");
  return make(name, std::move(properties));
}

Converted chest_like(const std::string& name, uint8_t data, bool typed) {
  Properties properties = {{"facing", wall_facing(data)}};
  if (typed) properties.emplace_back("type", "single");
  properties.emplace_back("waterlogged", "false");
  return make(name, std::move(properties));
}

Converted mushroom_block(uint32_t id, uint8_t data) {
  auto sides = [](bool down, bool east, bool north, bool south, bool up, bool west) {
    return Properties{{"down", flag(down)}, {"east", flag(east)},   {"north", flag(north)},
                      {"south", flag(south)}, {"up", flag(up)}, {"west", flag(west)}};
  };
  if (data == 10) return make("mushroom_stem", sides(false, true, true, true, false, true));
  if (data == 15) return make("mushroom_stem", sides(true, true, true, true, true, true));
  std::string name = id == 99 ? "brown_mushroom_block" : "red_mushroom_block";
  if (data == 0) return make(name, sides(false, false, false, false, false, false));
  if (data > 9) return make(name, sides(true, true, true, true, true, true));
  // 1 to 9: the cap's top with the sides of a 3x3 grid, north-west first.
  bool north = data <= 3, south = data >= 7, west = data % 3 == 1, east = data % 3 == 0;
  return make(name, sides(false, east, north, south, true, west));
}

Converted vine(uint8_t data) {
  return make("vine", {{"east", flag(data & 8)}, {"north", flag(data & 4)}, {"south", flag(data & 1)},
                       {"up", "false"}, {"west", flag(data & 2)}});
}

Converted fence_gate(const std::string& name, uint8_t data) {
  return make(name, {{"facing", kByHorizontal[data & 3]}, {"in_wall", "false"},
                     {"open", flag(data & 4)}, {"powered", flag(data & 8)}});
}

Converted trapdoor(const std::string& name, uint8_t data) {
  const char* const facings[] = {"north", "south", "west", "east"};
  return make(name, {{"facing", facings[data & 3]}, {"half", (data & 8) ? "top" : "bottom"},
                     {"open", flag(data & 4)}, {"powered", "false"}, {"waterlogged", "false"}});
}

Converted skull(uint8_t data) {
  unsigned d = data & 7;
  if (d >= 2 && d <= 5) return make("skeleton_wall_skull", {{"facing", kByFront[d]}});
  return make("skeleton_skull", {{"rotation", "0"}});
}

Converted anvil(uint8_t data) {
  const char* const names[] = {"anvil", "chipped_anvil", "damaged_anvil"};
  if ((data >> 2) > 2) return std::nullopt;
  return make(names[data >> 2], {{"facing", kByHorizontal[data & 3]}});
}

Converted quartz(uint8_t data) {
  if (data == 0) return make("quartz_block");
  if (data == 1) return make("chiseled_quartz_block");
  const char* const axes[] = {"y", "x", "z"};
  if (data <= 4) return make("quartz_pillar", {{"axis", axes[data - 2]}});
  // The game also reads pillars whose axis bits were set twice.
  if (data == 6 || data == 10) return make("quartz_pillar", {{"axis", data == 6 ? "x" : "z"}});
  return std::nullopt;
}

// A pot's plant, by data value, for pots without a block entity to say it.
Converted flower_pot(uint8_t data) {
  const char* const plants[] = {nullptr,         "poppy",       "dandelion",         "oak_sapling",
                                "spruce_sapling", "birch_sapling", "jungle_sapling",  "red_mushroom",
                                "brown_mushroom", "cactus",        "dead_bush",       "fern",
                                "acacia_sapling", "dark_oak_sapling", "blue_orchid",   "allium"};
  return data == 0 ? make("flower_pot") : make(std::string("potted_") + plants[data]);
}

Converted double_plant(uint8_t data) {
  const char* const names[] = {"sunflower", "lilac", "tall_grass", "large_fern", "rose_bush", "peony"};
  if ((data & 7) > 5) return std::nullopt;
  return make(names[data & 7], {{"half", (data & 8) ? "upper" : "lower"}});
}

Converted repeater(uint32_t id, uint8_t data) {
  return make("repeater", {{"delay", number(((data >> 2) & 3) + 1)}, {"facing", kByHorizontal[data & 3]},
                           {"locked", "false"}, {"powered", flag(id == 94)}});
}

Converted comparator(uint8_t data) {
  return make("comparator", {{"facing", kByHorizontal[data & 3]}, {"mode", (data & 4) ? "subtract" : "compare"},
                             {"powered", flag(data & 8)}});
}

Converted hopper(uint8_t data) {
  unsigned d = data & 7;
  const char* facing = (d >= 2 && d <= 5) ? kByFront[d] : "down";
  return make("hopper", {{"enabled", flag(!(data & 8))}, {"facing", facing}});
}

Converted bed(uint8_t data) {
  return make("red_bed", {{"facing", kByHorizontal[data & 3]}, {"occupied", flag(data & 4)},
                          {"part", (data & 8) ? "head" : "foot"}});
}

Converted ranged(const std::string& name, const char* key, uint8_t value, unsigned max) {
  if (value > max) return std::nullopt;
  return make(name, {{key, number(value)}});
}

// `handled` tells whether the id is one of the family's.
Converted ranged_family(uint32_t id, uint8_t data, bool& handled) {
  handled = true;
  switch (id) {
    case 8: case 9: return make("water", {{"level", number(data)}});
    case 10: case 11: return make("lava", {{"level", number(data)}});
    case 51: return make("fire", {{"age", number(data)}, {"east", "false"}, {"north", "false"},
                                  {"south", "false"}, {"up", "false"}, {"west", "false"}});
    case 55: return make("redstone_wire", {{"east", "none"}, {"north", "none"}, {"power", number(data)},
                                           {"south", "none"}, {"west", "none"}});
    case 59: return ranged("wheat", "age", data & 7, 7);
    case 60: return ranged("farmland", "moisture", data & 7, 7);
    case 78: return ranged("snow", "layers", (data & 7) + 1, 8);
    case 81: return ranged("cactus", "age", data, 15);
    case 83: return ranged("sugar_cane", "age", data, 15);
    case 92: return ranged("cake", "bites", data, 6);
    case 104: return ranged("pumpkin_stem", "age", data & 7, 7);
    case 105: return ranged("melon_stem", "age", data & 7, 7);
    case 115: return ranged("nether_wart", "age", data & 3, 3);
    case 118: return ranged("cauldron", "level", data & 3, 3);
    case 141: return ranged("carrots", "age", data & 7, 7);
    case 142: return ranged("potatoes", "age", data & 7, 7);
    case 147: return ranged("light_weighted_pressure_plate", "power", data, 15);
    case 148: return ranged("heavy_weighted_pressure_plate", "power", data, 15);
    case 200: return ranged("chorus_flower", "age", data, 5);
    case 207: return ranged("beetroots", "age", data & 3, 3);
    case 212: return ranged("frosted_ice", "age", data & 3, 3);
    case 255: {
      const char* const modes[] = {"save", "load", "corner", "data"};
      return data <= 3 ? make("structure_block", {{"mode", modes[data]}}) : std::nullopt;
    }
    default:
      handled = false;
      return std::nullopt;
  }
}

// `handled` tells whether the id is one of the family's.
Converted flag_family(uint32_t id, uint8_t data, bool& handled) {
  handled = true;
  switch (id) {
    case 2: return make("grass_block", {{"snowy", "false"}});
    case 3: return data == 2 ? make("podzol", {{"snowy", "false"}}) : plain(id, data);
    case 25: return make("note_block", {{"instrument", "harp"}, {"note", "0"}, {"powered", "false"}});
    case 46: return make("tnt", {{"unstable", flag(data & 1)}});
    case 70: return make("stone_pressure_plate", {{"powered", flag(data & 1)}});
    case 72: return make("oak_pressure_plate", {{"powered", flag(data & 1)}});
    case 73: case 74: return make("redstone_ore", {{"lit", flag(id == 74)}});
    case 84: return make("jukebox", {{"has_record", flag(data != 0)}});
    case 110: return make("mycelium", {{"snowy", "false"}});
    case 117: return make("brewing_stand", {{"has_bottle_0", flag(data & 1)}, {"has_bottle_1", flag(data & 2)},
                                            {"has_bottle_2", flag(data & 4)}});
    case 123: case 124: return make("redstone_lamp", {{"lit", flag(id == 124)}});
    case 132: return make("tripwire", {{"attached", flag(data & 4)}, {"disarmed", flag(data & 8)}, {"east", "false"},
                                       {"north", "false"}, {"powered", flag(data & 1)}, {"south", "false"},
                                       {"west", "false"}});
    case 151: case 178: return make("daylight_detector", {{"inverted", flag(id == 178)}, {"power", number(data)}});
    default:
      handled = false;
      return std::nullopt;
  }
}

// `handled` tells whether the id is one of the family's.
Converted horizontal_family(uint32_t id, uint8_t data, bool& handled) {
  handled = true;
  switch (id) {
    case 26: return bed(data);
    case 61: case 62: return make("furnace", {{"facing", wall_facing(data)}, {"lit", flag(id == 62)}});
    case 65: return make("ladder", {{"facing", wall_facing(data)}, {"waterlogged", "false"}});
    case 68: return make("wall_sign", {{"facing", wall_facing(data)}, {"waterlogged", "false"}});
    case 86: return make("carved_pumpkin", {{"facing", kByHorizontal[data & 3]}});
    case 91: return make("jack_o_lantern", {{"facing", kByHorizontal[data & 3]}});
    case 120: return make("end_portal_frame", {{"eye", flag(data & 4)}, {"facing", kByHorizontal[data & 3]}});
    case 127:
      if ((data >> 2) > 2) return std::nullopt;
      return make("cocoa", {{"age", number(data >> 2)}, {"facing", kByHorizontal[data & 3]}});
    case 131: return make("tripwire_hook", {{"attached", flag(data & 4)}, {"facing", kByHorizontal[data & 3]},
                                            {"powered", flag(data & 8)}});
    case 177: return make("white_wall_banner", {{"facing", wall_facing(data)}});
    default:
      if (id >= 235 && id <= 250) return make(*table_name(id, 0), {{"facing", kByHorizontal[data & 3]}});
      handled = false;
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> get_legacy_type(uint32_t id, uint8_t data) {
  std::string key = data == 0 ? std::to_string(id) : std::to_string(id) + ":" + std::to_string(data);
  const auto& table = legacy_table();
  auto found = table.find(key);
  if (found == table.end()) return std::nullopt;
  return found->second;
}

namespace {

// Per id, bit d set when the game wrote data value d before the flattening.
constexpr uint16_t kWrittenData[256] = {
#include "formats/mcedit/legacy_pairs.inc"
};

// The state of this id and data value, if the table knows it.
Converted converted_exactly(uint32_t id, uint8_t data) {
  bool handled = false;
  for (auto family : {ranged_family, flag_family, horizontal_family}) {
    Converted state = family(id, data, handled);
    if (handled) return state;
  }
  switch (id) {
    case 6:
      if ((data & 7) > 5) return std::nullopt;
      return make(std::string(kWoods[data & 7]) + "_sapling", {{"stage", (data & 8) ? "1" : "0"}});
    case 17: case 162: return log(id, data);
    case 18: case 161: return leaves(id, data);
    case 23: return dispenser("dispenser", data);
    case 158: return dispenser("dropper", data);
    case 27: case 28: case 66: case 157: return rail(id, data);
    case 29: return facing_six("sticky_piston", data, "extended");
    case 33: return facing_six("piston", data, "extended");
    case 34:
      if ((data & 7) > 5) return std::nullopt;
      return make("piston_head", {{"facing", kByFront[data & 7]}, {"short", "false"},
                                  {"type", (data & 8) ? "sticky" : "normal"}});
    case 43: case 44: return stone_slab(id, data);
    case 125: case 126: case 181: case 182: case 204: case 205: return sided_slab(id, data);
    case 50: case 75: case 76: return torch(id, data);
    case 53: case 67: case 108: case 109: case 114: case 128: case 134: case 135: case 136: case 156:
    case 163: case 164: case 180: case 203:
      return stairs(*table_name(id, 0), data);
    case 54: return chest_like("chest", data, true);
    case 146: return chest_like("trapped_chest", data, true);
    case 130: return chest_like("ender_chest", data, false);
    case 63: return make("sign", {{"rotation", number(data)}, {"waterlogged", "false"}});
    case 176: return make("white_banner", {{"rotation", number(data)}});
    case 64: case 71: case 193: case 194: case 195: case 196: case 197: return door(*table_name(id, 0), data);
    case 69: return lever(data);
    case 77: return button("stone_button", data);
    case 143: return button("oak_button", data);
    case 85: case 113: case 188: case 189: case 190: case 191: case 192: return connected(*table_name(id, 0), true);
    case 101: case 102: case 160: return connected(table_name(id, data).value_or(*table_name(id, 0)), true);
    case 139: return data <= 1 ? connected(*table_name(id, data), true, true) : std::nullopt;
    case 199: return make("chorus_plant", {{"down", "false"}, {"east", "false"}, {"north", "false"},
                                           {"south", "false"}, {"up", "false"}, {"west", "false"}});
    case 90: return make("nether_portal", {{"axis", (data & 3) == 2 ? "z" : "x"}});
    case 93: case 94: return repeater(id, data);
    case 149: case 150: return comparator(data);
    case 96: return trapdoor("oak_trapdoor", data);
    case 167: return trapdoor("iron_trapdoor", data);
    case 99: case 100: return mushroom_block(id, data);
    case 106: return vine(data);
    case 107: case 183: case 184: case 185: case 186: case 187: return fence_gate(*table_name(id, 0), data);
    case 137: return command_block("command_block", data);
    case 210: return command_block("repeating_command_block", data);
    case 211: return command_block("chain_command_block", data);
    case 144: return skull(data);
    case 145: return anvil(data);
    case 154: return hopper(data);
    case 155: return quartz(data);
    case 140: return flower_pot(data);
    case 170: return axis_block("hay_block", data);
    case 202: return axis_block("purpur_pillar", data);
    case 216: return axis_block("bone_block", data);
    case 175: return double_plant(data);
    case 198: return (data & 7) <= 5 ? make("end_rod", {{"facing", kByFront[data & 7]}}) : std::nullopt;
    case 218:
      if ((data & 7) > 5) return std::nullopt;
      return make("observer", {{"facing", kByFront[data & 7]}, {"powered", flag(data & 8)}});
    default:
      if (id >= 219 && id <= 234) {
        return (data & 7) <= 5 ? make(*table_name(id, 0), {{"facing", kByFront[data & 7]}}) : std::nullopt;
      }
      return plain(id, data);
  }
}

}  // namespace

std::optional<StateRef> convert_legacy_data_to_modern_properties(uint32_t id, uint8_t data) {
  if (id > 255 || data > 15) return std::nullopt;
  // A data value the game never wrote for an id it knows reads, as in the
  // game's own flattening, as the id's data value 0.
  const bool known = kWrittenData[id] != 0;
  return converted_exactly(id, !known || (kWrittenData[id] >> data & 1) ? data : 0);
}

std::optional<uint32_t> legacy_block_id(std::string_view name) {
  struct Named {
    std::string_view name;
    uint32_t id;
  };
  static constexpr Named kNames[] = {
#include "formats/mcedit/legacy_names.inc"
  };
  if (name.starts_with("minecraft:")) name.remove_prefix(10);
  const auto found = std::lower_bound(std::begin(kNames), std::end(kNames), name,
                                      [](const Named& entry, std::string_view key) { return entry.name < key; });
  if (found == std::end(kNames) || found->name != name) return std::nullopt;
  return found->id;
}

}  // namespace kubic
