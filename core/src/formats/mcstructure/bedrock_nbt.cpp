#include "formats/mcstructure/bedrock_nbt.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";

struct IdPair {
  std::string_view bedrock;
  std::string_view java;  // without namespace
};

// Block entity ids of the two editions.
constexpr IdPair kBlockEntityIds[] = {
    {"Banner", "banner"},           {"Barrel", "barrel"},
    {"Beacon", "beacon"},           {"Bed", "bed"},
    {"Beehive", "beehive"},         {"Bell", "bell"},
    {"BlastFurnace", "blast_furnace"}, {"BrewingStand", "brewing_stand"},
    {"BrushableBlock", "brushable_block"}, {"Campfire", "campfire"},
    {"ChiseledBookshelf", "chiseled_bookshelf"}, {"Chest", "chest"},
    {"CommandBlock", "command_block"}, {"Comparator", "comparator"},
    {"Conduit", "conduit"},         {"Crafter", "crafter"},
    {"DaylightDetector", "daylight_detector"}, {"DecoratedPot", "decorated_pot"},
    {"Dispenser", "dispenser"},     {"Dropper", "dropper"},
    {"EnchantTable", "enchanting_table"}, {"EndGateway", "end_gateway"},
    {"EndPortal", "end_portal"},    {"EnderChest", "ender_chest"},
    {"Furnace", "furnace"},         {"HangingSign", "hanging_sign"},
    {"Hopper", "hopper"},           {"Jigsaw", "jigsaw"},
    {"Jukebox", "jukebox"},         {"Lectern", "lectern"},
    {"MobSpawner", "mob_spawner"},  {"PistonArm", "piston"},
    {"SculkCatalyst", "sculk_catalyst"}, {"SculkSensor", "sculk_sensor"},
    {"SculkShrieker", "sculk_shrieker"}, {"ShulkerBox", "shulker_box"},
    {"Sign", "sign"},               {"Skull", "skull"},
    {"Smoker", "smoker"},           {"StructureBlock", "structure_block"},
    {"TrialSpawner", "trial_spawner"}, {"Vault", "vault"},
};

// Entity ids where the editions differ.
constexpr IdPair kEntityIds[] = {
    {"minecraft:villager_v2", "villager"},       {"minecraft:zombie_villager_v2", "zombie_villager"},
    {"minecraft:ender_crystal", "end_crystal"},  {"minecraft:evocation_illager", "evoker"},
    {"minecraft:zombie_pigman", "zombified_piglin"}, {"minecraft:xp_orb", "experience_orb"},
    {"minecraft:xp_bottle", "experience_bottle"}, {"minecraft:fireworks_rocket", "firework_rocket"},
};

// Banner patterns: Bedrock's codes and Java's names.
constexpr IdPair kPatterns[] = {
    {"b", "base"}, {"bl", "square_bottom_left"}, {"br", "square_bottom_right"}, {"tl", "square_top_left"},
    {"tr", "square_top_right"}, {"bs", "stripe_bottom"}, {"ts", "stripe_top"}, {"ls", "stripe_left"},
    {"rs", "stripe_right"}, {"cs", "stripe_center"}, {"ms", "stripe_middle"}, {"drs", "stripe_downright"},
    {"dls", "stripe_downleft"}, {"ss", "small_stripes"}, {"cr", "cross"}, {"sc", "straight_cross"},
    {"bt", "triangle_bottom"}, {"tt", "triangle_top"}, {"bts", "triangles_bottom"}, {"tts", "triangles_top"},
    {"ld", "diagonal_left"}, {"rd", "diagonal_up_right"}, {"lud", "diagonal_up_left"}, {"rud", "diagonal_right"},
    {"mc", "circle"}, {"mr", "rhombus"}, {"vh", "half_vertical"}, {"hh", "half_horizontal"},
    {"vhr", "half_vertical_right"}, {"hhb", "half_horizontal_bottom"}, {"bo", "border"}, {"cbo", "curly_border"},
    {"gra", "gradient"}, {"gru", "gradient_up"}, {"bri", "bricks"}, {"glb", "globe"}, {"cre", "creeper"},
    {"sku", "skull"}, {"flo", "flower"}, {"moj", "mojang"}, {"pig", "piglin"}, {"flw", "flow"}, {"gus", "guster"},
};

// Java's dye colours by Java's number; Bedrock numbers them the other way.
constexpr std::string_view kColours[] = {"white", "orange", "magenta", "light_blue", "yellow", "lime",
                                         "pink",  "gray",   "light_gray", "cyan",   "purple", "blue",
                                         "brown", "green",  "red",   "black"};

template <size_t N>
const IdPair* by_bedrock(const IdPair (&pairs)[N], std::string_view id) {
  for (const IdPair& pair : pairs) {
    if (pair.bedrock == id) return &pair;
  }
  return nullptr;
}

template <size_t N>
const IdPair* by_java(const IdPair (&pairs)[N], std::string_view id) {
  if (id.starts_with(kNamespace)) id.remove_prefix(kNamespace.size());
  for (const IdPair& pair : pairs) {
    if (pair.java == id) return &pair;
  }
  return nullptr;
}

std::string java_name(std::string_view id) { return std::string(kNamespace) + std::string(id); }

Tag text_tag(std::string text) { return Tag{std::move(text)}; }

std::optional<int32_t> number(const Compound& data, std::string_view key) {
  const Tag* tag = data.get(key);
  return tag ? tag->int_value() : std::nullopt;
}

// Renames a key, keeping its value.
void rename(Compound& data, std::string_view from, std::string to) {
  if (auto value = data.take(from)) data.put(std::move(to), std::move(*value));
}

// An item stack: Bedrock's Name, Count, Damage and Slot; Java's id, count, Slot.
Compound java_item(const Compound& item, UntranslatedNbt& untranslated) {
  Compound out;
  if (const std::string* name = item.get_as<std::string>("Name")) out.put("id", text_tag(*name));
  out.put("count", Tag{int32_t(number(item, "Count").value_or(1))});
  if (const Tag* slot = item.get("Slot")) out.put("Slot", *slot);
  if (number(item, "Damage").value_or(0) != 0) ++untranslated["items' Bedrock Damage values"];
  if (item.get("tag")) ++untranslated["items' Bedrock tags"];
  return out;
}

Compound bedrock_item(const Compound& item, UntranslatedNbt& untranslated) {
  Compound out;
  if (const std::string* id = item.get_as<std::string>("id")) out.put("Name", text_tag(*id));
  out.put("Count", Tag{int8_t(std::clamp(number(item, "count").value_or(number(item, "Count").value_or(1)), 0, 127))});
  out.put("Damage", Tag{int16_t(0)});
  if (const Tag* slot = item.get("Slot")) out.put("Slot", *slot);
  if (item.get("components") || item.get("tag")) ++untranslated["items' Java components"];
  return out;
}

// Every item stack of a holder's item lists, the other edition's way.
template <typename Translate>
void translate_items(Compound& data, Translate translate, UntranslatedNbt& untranslated) {
  for (const char* key : {"Items", "Armor", "Mainhand", "Offhand", "ChestItems", "HandItems", "ArmorItems"}) {
    Tag* tag = data.get(key);
    auto* list = tag ? std::get_if<ListTag>(&tag->value) : nullptr;
    for (size_t i = 0; list && i < list->items.size(); ++i) {
      if (auto* item = std::get_if<Compound>(&list->items[i].value)) *item = translate(*item, untranslated);
    }
  }
}

// Sign text: Bedrock keeps one string of lines per side, Java four JSON
// text components.
Compound java_sign_side(const Compound* side) {
  std::string text;
  if (const std::string* given = side ? side->get_as<std::string>("Text") : nullptr) text = *given;
  ListTag messages{TagType::String, {}};
  size_t start = 0;
  for (int line = 0; line < 4; ++line) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string words = start <= text.size() ? text.substr(start, end - start) : std::string();
    messages.items.push_back(text_tag(nlohmann::json(words).dump()));
    start = end + 1;
  }
  Compound out;
  out.put("messages", Tag{std::move(messages)});
  out.put("color", text_tag("black"));
  out.put("has_glowing_text", Tag{int8_t(side && number(*side, "IgnoreLighting").value_or(0) ? 1 : 0)});
  return out;
}

// The words of a Java text component: a JSON string, or an object's "text"
// and its "extra" parts; other text as it is.
std::string words_of(const std::string& component) {
  const nlohmann::json parsed = nlohmann::json::parse(component, nullptr, false);
  if (parsed.is_discarded()) return component;
  std::string words;
  auto walk = [&](const nlohmann::json& part, auto&& self) -> void {
    if (part.is_string()) {
      words += part.get<std::string>();
    } else if (part.is_object()) {
      if (part.contains("text") && part["text"].is_string()) words += part["text"].get<std::string>();
      if (part.contains("extra")) self(part["extra"], self);
    } else if (part.is_array()) {
      for (const auto& item : part) self(item, self);
    }
  };
  walk(parsed, walk);
  return words;
}

Compound bedrock_sign_side(const Compound* side) {
  std::string text;
  const ListTag* messages = side ? side->get_as<ListTag>("messages") : nullptr;
  for (size_t i = 0; messages && i < messages->items.size(); ++i) {
    if (i) text += '\n';
    if (const std::string* line = messages->items[i].as<std::string>()) text += words_of(*line);
  }
  while (text.ends_with('\n')) text.pop_back();
  Compound out;
  out.put("Text", text_tag(std::move(text)));
  out.put("IgnoreLighting", Tag{int8_t(side && number(*side, "has_glowing_text").value_or(0) ? 1 : 0)});
  out.put("SignTextColor", Tag{int32_t(-16777216)});  // opaque black
  return out;
}

void java_sign(Compound& data) {
  const auto front = data.take("FrontText"), back = data.take("BackText");
  data.put("front_text", Tag{java_sign_side(front ? front->as<Compound>() : nullptr)});
  data.put("back_text", Tag{java_sign_side(back ? back->as<Compound>() : nullptr)});
  rename(data, "IsWaxed", "is_waxed");
}

void bedrock_sign(Compound& data) {
  const auto front = data.take("front_text"), back = data.take("back_text");
  data.put("FrontText", Tag{bedrock_sign_side(front ? front->as<Compound>() : nullptr)});
  data.put("BackText", Tag{bedrock_sign_side(back ? back->as<Compound>() : nullptr)});
  rename(data, "is_waxed", "IsWaxed");
}

void java_spawner(Compound& data) {
  auto entity = data.take("EntityIdentifier");
  const std::string* id = entity ? entity->as<std::string>() : nullptr;
  if (!id) return;
  Compound inner;
  inner.put("id", text_tag(*id));
  Compound spawn;
  spawn.put("entity", Tag{std::move(inner)});
  data.put("SpawnData", Tag{std::move(spawn)});
}

void bedrock_spawner(Compound& data) {
  const auto spawn = data.take("SpawnData");
  const Compound* spawn_data = spawn ? spawn->as<Compound>() : nullptr;
  const Compound* entity = spawn_data ? spawn_data->get_as<Compound>("entity") : nullptr;
  if (const std::string* id = entity ? entity->get_as<std::string>("id") : nullptr) {
    data.put("EntityIdentifier", text_tag(*id));
  }
}

// Banner patterns: Bedrock's {Pattern code, Color number}, Java's
// {pattern name, color name}.
void java_patterns(Compound& data, UntranslatedNbt& untranslated) {
  const auto patterns = data.take("Patterns");
  const ListTag* list = patterns ? patterns->as<ListTag>() : nullptr;
  ListTag out{TagType::Compound, {}};
  for (size_t i = 0; list && i < list->items.size(); ++i) {
    const Compound* pattern = list->items[i].as<Compound>();
    const std::string* code = pattern ? pattern->get_as<std::string>("Pattern") : nullptr;
    const IdPair* named = code ? by_bedrock(kPatterns, *code) : nullptr;
    const int32_t colour = pattern ? number(*pattern, "Color").value_or(0) : 0;
    if (!named || colour < 0 || colour > 15) {
      ++untranslated["banner patterns"];
      continue;
    }
    Compound entry;
    entry.put("pattern", text_tag(java_name(named->java)));
    entry.put("color", text_tag(std::string(kColours[15 - colour])));
    out.items.push_back(Tag{std::move(entry)});
  }
  if (!out.items.empty()) data.put("patterns", Tag{std::move(out)});
}

void bedrock_patterns(Compound& data, UntranslatedNbt& untranslated) {
  const auto patterns = data.take("patterns");
  const ListTag* list = patterns ? patterns->as<ListTag>() : nullptr;
  ListTag out{TagType::Compound, {}};
  for (size_t i = 0; list && i < list->items.size(); ++i) {
    const Compound* pattern = list->items[i].as<Compound>();
    const std::string* name = pattern ? pattern->get_as<std::string>("pattern") : nullptr;
    const std::string* colour = pattern ? pattern->get_as<std::string>("color") : nullptr;
    const IdPair* coded = name ? by_java(kPatterns, *name) : nullptr;
    const auto at = colour ? std::find(std::begin(kColours), std::end(kColours), *colour) : std::end(kColours);
    if (!coded || at == std::end(kColours)) {
      ++untranslated["banner patterns"];
      continue;
    }
    Compound entry;
    entry.put("Pattern", text_tag(std::string(coded->bedrock)));
    entry.put("Color", Tag{int32_t(15 - (at - std::begin(kColours)))});
    out.items.push_back(Tag{std::move(entry)});
  }
  if (!out.items.empty()) data.put("Patterns", Tag{std::move(out)});
}

}  // namespace

void java_block_entity(Compound& data, UntranslatedNbt& untranslated) {
  for (const char* key : {"x", "y", "z", "isMovable"}) data.take(key);
  const std::string* id = data.get_as<std::string>("id");
  const IdPair* pair = id ? by_bedrock(kBlockEntityIds, *id) : nullptr;
  if (!pair) {
    ++untranslated["block entity " + (id ? *id : std::string("without an id"))];
    return;
  }
  data.put("id", text_tag(java_name(pair->java)));
  translate_items(data, java_item, untranslated);
  if (pair->java == "sign" || pair->java == "hanging_sign") java_sign(data);
  if (pair->java == "mob_spawner") java_spawner(data);
  if (pair->java == "banner") java_patterns(data, untranslated);
}

void bedrock_block_entity(Compound& data, UntranslatedNbt& untranslated) {
  const std::string* id = data.get_as<std::string>("id");
  const IdPair* pair = id ? by_java(kBlockEntityIds, *id) : nullptr;
  if (!pair) {
    ++untranslated["block entity " + (id ? *id : std::string("without an id"))];
    return;
  }
  data.put("id", text_tag(std::string(pair->bedrock)));
  translate_items(data, bedrock_item, untranslated);
  if (pair->java == "sign" || pair->java == "hanging_sign") bedrock_sign(data);
  if (pair->java == "mob_spawner") bedrock_spawner(data);
  if (pair->java == "banner") bedrock_patterns(data, untranslated);
  data.put("isMovable", Tag{int8_t(1)});
}

void java_entity(Compound& data, UntranslatedNbt& untranslated) {
  auto identifier = data.take("identifier");
  const std::string* id = identifier ? identifier->as<std::string>() : nullptr;
  if (!id) {
    ++untranslated["entities without an identifier"];
    return;
  }
  const IdPair* pair = by_bedrock(kEntityIds, *id);
  data.put("id", text_tag(pair ? java_name(pair->java) : *id));
  translate_items(data, java_item, untranslated);
  ++untranslated["entities: Bedrock's own tags kept as they are"];
}

void bedrock_entity(Compound& data, UntranslatedNbt& untranslated) {
  auto tag = data.take("id");
  const std::string* id = tag ? tag->as<std::string>() : nullptr;
  if (!id) {
    ++untranslated["entities without an id"];
    return;
  }
  const IdPair* pair = by_java(kEntityIds, *id);
  data.put("identifier", text_tag(pair ? std::string(pair->bedrock) : *id));
  translate_items(data, bedrock_item, untranslated);
  ++untranslated["entities: Java's own tags kept as they are"];
}

}  // namespace kubic
