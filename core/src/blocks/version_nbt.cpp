#include "blocks/version_nbt.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "blocks/game_versions.h"

namespace kubic {

namespace {

constexpr std::string_view kNamespace = "minecraft:";

// Whether going from `from` to `to` crosses `release`, and upwards.
struct Crossing {
  bool crossed;
  bool up;
};

Crossing crossing(std::string_view release, int32_t from, int32_t to) {
  const int32_t at = *data_version_of(release);
  return {std::min(from, to) < at && at <= std::max(from, to), to > from};
}

std::string id_of(const Compound& data) {
  const std::string* id = data.get_as<std::string>("id");
  if (!id) return {};
  return id->starts_with(kNamespace) ? *id : std::string(kNamespace) + *id;
}

Tag string_tag(std::string text) { return Tag{std::move(text)}; }
Tag byte_tag(int8_t value) { return Tag{value}; }

bool is_sign(std::string_view id) { return id == "minecraft:sign" || id == "minecraft:hanging_sign"; }

// One side of a 1.20 sign, from the four lines of an older one.
Compound sign_side(std::array<Tag, 4> lines, Tag color, Tag glowing) {
  ListTag messages{TagType::String, {}};
  for (Tag& line : lines) messages.items.push_back(std::move(line));
  Compound side;
  side.put("messages", Tag{std::move(messages)});
  side.put("color", std::move(color));
  side.put("has_glowing_text", std::move(glowing));
  return side;
}

// 1.20 gave signs two sides: the old lines are the front.
void sign_text_up(Compound& data, VersionNotes& notes) {
  if (!data.get("Text1") && !data.get("Text2") && !data.get("Text3") && !data.get("Text4")) return;
  std::array<Tag, 4> lines;
  for (int line = 0; line < 4; ++line) {
    lines[size_t(line)] = data.take("Text" + std::to_string(line + 1)).value_or(string_tag("\"\""));
  }
  Tag color = data.take("Color").value_or(string_tag("black"));
  Tag glowing = data.take("GlowingText").value_or(byte_tag(0));
  data.put("front_text", Tag{sign_side(std::move(lines), std::move(color), std::move(glowing))});
  data.put("back_text", Tag{sign_side({string_tag("\"\""), string_tag("\"\""), string_tag("\"\""),
                                       string_tag("\"\"")},
                                      string_tag("black"), byte_tag(0))});
  data.put("is_waxed", byte_tag(0));
  ++notes["signs: Text1..Text4 became front_text"];
}

bool holds_words(const Compound* side) {
  const ListTag* messages = side ? side->get_as<ListTag>("messages") : nullptr;
  if (!messages) return false;
  return std::any_of(messages->items.begin(), messages->items.end(), [](const Tag& line) {
    const std::string* text = line.as<std::string>();
    return text && *text != "\"\"" && *text != "" && *text != "{\"text\":\"\"}";
  });
}

void sign_text_down(Compound& data, VersionNotes& notes) {
  const auto front = data.take("front_text");
  const auto back = data.take("back_text");
  data.take("is_waxed");
  if (!front && !back) return;
  const Compound* side = front ? front->as<Compound>() : nullptr;
  const ListTag* messages = side ? side->get_as<ListTag>("messages") : nullptr;
  for (size_t line = 0; line < 4; ++line) {
    const bool given = messages && line < messages->items.size();
    data.put("Text" + std::to_string(line + 1), given ? messages->items[line] : string_tag("\"\""));
  }
  if (const Tag* color = side ? side->get("color") : nullptr) data.put("Color", *color);
  if (const Tag* glowing = side ? side->get("has_glowing_text") : nullptr) data.put("GlowingText", *glowing);
  ++notes["signs: front_text became Text1..Text4"];
  if (holds_words(back ? back->as<Compound>() : nullptr)) ++notes["signs: back text dropped (one side before 1.20)"];
}

// Tags holding item stacks, whose form 1.20.5 changed (item components).
bool holds_items(const Compound& data) {
  for (const char* key : {"Items", "Item", "RecordItem", "HandItems", "ArmorItems", "Book", "item"}) {
    if (data.get(key)) return true;
  }
  return false;
}

void note_kept(const Compound& data, int32_t from, int32_t to, std::string_view what, VersionNotes& notes) {
  if (crossing("1.20.5", from, to).crossed && holds_items(data)) {
    ++notes[std::string(what) + ": item stacks kept in the form of their version (1.20.5 changed it)"];
  }
}

constexpr std::string_view kBoatWoods[] = {"oak", "spruce", "birch", "jungle", "acacia", "dark_oak", "mangrove",
                                           "cherry", "pale_oak", "bamboo"};

// 1.21.2 gave each wood's boat an id of its own, where a "Type" said it.
void boats_up(Compound& data, const std::string& id, VersionNotes& notes) {
  const bool chest = id == "minecraft:chest_boat";
  if (!chest && id != "minecraft:boat") return;
  const auto type = data.take("Type");
  const std::string* wood = type ? type->as<std::string>() : nullptr;
  const std::string base = wood && !wood->empty() ? *wood : "oak";
  const std::string kind = base == "bamboo" ? (chest ? "_chest_raft" : "_raft") : (chest ? "_chest_boat" : "_boat");
  data.put("id", string_tag(std::string(kNamespace) + base + kind));
  ++notes["boats: Type became the id"];
}

void boats_down(Compound& data, const std::string& id, VersionNotes& notes) {
  for (std::string_view wood : kBoatWoods) {
    const std::string stem = std::string(kNamespace) + std::string(wood);
    const bool raft = wood == "bamboo";
    for (const bool chest : {false, true}) {
      const std::string kind = raft ? (chest ? "_chest_raft" : "_raft") : (chest ? "_chest_boat" : "_boat");
      if (id != stem + kind) continue;
      data.put("id", string_tag(chest ? "minecraft:chest_boat" : "minecraft:boat"));
      data.put("Type", string_tag(std::string(wood)));
      ++notes["boats: the id became Type"];
      return;
    }
  }
}

// 1.21.5 gave thrown splash and lingering potions ids of their own, where
// the potion item said which it was.
void potions_up(Compound& data, const std::string& id, VersionNotes& notes) {
  if (id != "minecraft:potion") return;
  const Compound* item = data.get_as<Compound>("Item");
  const std::string* kind = item ? item->get_as<std::string>("id") : nullptr;
  const bool lingering = kind && *kind == "minecraft:lingering_potion";
  data.put("id", string_tag(lingering ? "minecraft:lingering_potion" : "minecraft:splash_potion"));
  ++notes["thrown potions: renamed by their item"];
}

void potions_down(Compound& data, const std::string& id, VersionNotes& notes) {
  if (id != "minecraft:splash_potion" && id != "minecraft:lingering_potion") return;
  data.put("id", string_tag("minecraft:potion"));
  ++notes["thrown potions: renamed by their item"];
}

}  // namespace

void convert_block_entity(Compound& data, int32_t from, int32_t to, VersionNotes& notes) {
  const std::string id = id_of(data);
  const Crossing signs = crossing("1.20", from, to);
  if (is_sign(id) && signs.crossed) (signs.up ? sign_text_up : sign_text_down)(data, notes);
  if (is_sign(id) && crossing("1.21.5", from, to).crossed) {
    ++notes["signs: text kept in the form of its version (1.21.5 changed it)"];
  }
  note_kept(data, from, to, "block entities", notes);
}

void convert_entity(Compound& data, int32_t from, int32_t to, VersionNotes& notes) {
  const std::string id = id_of(data);
  const Crossing piglins = crossing("1.16", from, to);
  if (piglins.crossed && id == (piglins.up ? "minecraft:zombie_pigman" : "minecraft:zombified_piglin")) {
    data.put("id", string_tag(piglins.up ? "minecraft:zombified_piglin" : "minecraft:zombie_pigman"));
    ++notes["entities: zombie_pigman and zombified_piglin renamed"];
  }
  const Crossing boats = crossing("1.21.2", from, to);
  if (boats.crossed) (boats.up ? boats_up : boats_down)(data, id, notes);
  const Crossing potions = crossing("1.21.5", from, to);
  if (potions.crossed) (potions.up ? potions_up : potions_down)(data, id, notes);
  note_kept(data, from, to, "entities", notes);
}

}  // namespace kubic
