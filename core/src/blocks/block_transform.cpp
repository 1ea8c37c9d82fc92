#include "blocks/block_transform.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "blocks/block_tables.h"

namespace kubic {

namespace {

using Vector = std::array<int, 3>;
using Properties = std::map<std::string, std::string, std::less<>>;

struct Direction {
  std::string_view name;
  Vector vector;
};

constexpr Direction kDirections[] = {{"north", {0, 0, -1}}, {"south", {0, 0, 1}}, {"east", {1, 0, 0}},
                                     {"west", {-1, 0, 0}},  {"up", {0, 1, 0}},    {"down", {0, -1, 0}}};
constexpr Vector kUp = {0, 1, 0};

std::optional<Vector> vector_of(std::string_view name) {
  for (const Direction& direction : kDirections) {
    if (direction.name == name) return direction.vector;
  }
  return std::nullopt;
}

std::string name_of(const Vector& vector) {
  for (const Direction& direction : kDirections) {
    if (direction.vector == vector) return std::string(direction.name);
  }
  return {};
}

bool vertical(const Vector& v) { return v[1] != 0; }
Vector opposite(const Vector& v) { return {-v[0], -v[1], -v[2]}; }

std::string swapped(const std::string& value, std::string_view a, std::string_view b) {
  const size_t at_a = value.find(a), at_b = value.find(b);
  if (at_a != std::string::npos) return value.substr(0, at_a) + std::string(b) + value.substr(at_a + a.size());
  if (at_b != std::string::npos) return value.substr(0, at_b) + std::string(a) + value.substr(at_b + b.size());
  return value;
}

// One state through one map; `failed` once the block cannot show it.
class StateTransform {
 public:
  StateTransform(const BlockState& state, const AxisMap& map, const BlockSchema* schema)
      : name_(state.name()), map_(map), schema_(schema), flips_y_(map.keeps_vertical() && map.sign[1] < 0) {
    for (const auto& [key, value] : state.properties()) properties_[key] = value;
    checked_ = allowed();
  }

  bool run() {
    if (!map_.keeps_vertical() && !can_lie_on_its_side()) return false;
    const bool faces = properties_.contains("face");
    for (auto& [key, value] : properties_) {
      if (!(faces && key == "facing")) value_of(key, value);
    }
    if (faces) turn_face();
    move_side_keys();
    // A state the block's table does not describe is turned as it is.
    return !failed_ && (!checked_ || allowed());
  }

  const Properties& properties() const { return properties_; }

 private:
  // Under a turn about x or z, blocks that only know horizontal directions,
  // or top and bottom, cannot follow.
  bool can_lie_on_its_side() const {
    for (const char* key : {"half", "attachment", "hanging", "rotation", "hinge", "shape", "side_chain"}) {
      if (properties_.contains(key)) return false;
    }
    const auto type = properties_.find("type");
    if (type != properties_.end() && type->second != "double" && type->second != "normal" &&
        type->second != "sticky") {
      return false;
    }
    if (properties_.contains("north") && !(properties_.contains("up") && properties_.contains("down"))) return false;
    if (!schema_) return true;
    // A block on a face (buttons, levers) turns by its face and facing both.
    const BlockProperty* facing = properties_.contains("face") ? nullptr : schema_->find("facing");
    const BlockProperty* axis = schema_->find("axis");
    return !(facing && !facing->allows("up")) && !(axis && !axis->allows("y"));
  }

  void value_of(const std::string& key, std::string& value) {
    if (key == "facing" || key == "vertical_direction") {
      if (auto v = vector_of(value)) value = name_of(map_.apply(*v));
    } else if (key == "axis" && value.size() == 1 && value[0] >= 'x' && value[0] <= 'z') {
      value = std::string(1, char('x' + map_.image_of_axis(value[0] - 'x')));
    } else if (key == "rotation") {
      value = rotated(value);
    } else if (key == "orientation") {
      value = oriented(value);
    } else if (key == "shape") {
      value = value.find("left") != std::string::npos || value.find("right") != std::string::npos ||
                      value == "straight"
                  ? handed(value)
                  : rail(value);
    } else if (key == "hinge" || key == "side_chain" || (key == "type" && (value == "left" || value == "right"))) {
      value = handed(value);
    } else if (key == "half" || (key == "type" && (value == "top" || value == "bottom"))) {
      if (flips_y_) value = swapped(swapped(value, "top", "bottom"), "upper", "lower");
    } else if (key == "attachment") {
      value = attached(value);
    } else if (key == "hanging") {
      hung(value);
    }
  }

  std::string handed(const std::string& value) const {
    return map_.mirrors_seen_from_above() ? swapped(value, "left", "right") : value;
  }

  // 0-15 clockwise from south, seen from above.
  std::string rotated(const std::string& value) {
    const bool number = !value.empty() && value.size() <= 2 &&
                        std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int r = number ? std::stoi(value) : -1;
    if (r < 0 || r > 15) return value;
    const int south_goes_to = quarter_of(map_.apply({0, 0, 1})) * 4;
    const int turned = map_.mirrors_seen_from_above() ? south_goes_to - r : south_goes_to + r;
    return std::to_string(((turned % 16) + 16) % 16);
  }

  // South 0, west 1, north 2, east 3.
  static int quarter_of(const Vector& v) { return v[2] > 0 ? 0 : v[0] < 0 ? 1 : v[2] < 0 ? 2 : 3; }

  // "front_top" of jigsaws and crafters.
  std::string oriented(const std::string& value) {
    const size_t cut = value.find('_');
    const auto front = vector_of(value.substr(0, cut)), top = vector_of(value.substr(cut + 1));
    if (cut == std::string::npos || !front || !top) return value;
    return name_of(map_.apply(*front)) + "_" + name_of(map_.apply(*top));
  }

  // Rails: two ends, or a slope rising toward one side.
  std::string rail(const std::string& value) {
    if (value.starts_with("ascending_")) {
      const auto toward = vector_of(value.substr(10));
      if (!toward) return value;
      const Vector side = map_.apply(*toward), up = map_.apply(kUp);
      if (vertical(side)) return fail(value);
      return "ascending_" + name_of(up[1] > 0 ? side : opposite(side));
    }
    const size_t cut = value.find('_');
    const auto a = vector_of(value.substr(0, cut)), b = vector_of(value.substr(cut + 1));
    if (cut == std::string::npos || !a || !b) return value;
    const Vector p = map_.apply(*a), q = map_.apply(*b);
    if (vertical(p) || vertical(q)) return fail(value);
    if (p == opposite(q)) return p[2] != 0 ? "north_south" : "east_west";
    const bool p_first = p[2] != 0;  // north or south comes first
    return name_of(p_first ? p : q) + "_" + name_of(p_first ? q : p);
  }

  // Bells: floor and ceiling swap under a flip of y; one on a wall cannot
  // hang upside down.
  std::string attached(const std::string& value) {
    if (!flips_y_) return value;
    if (value == "floor") return "ceiling";
    if (value == "ceiling") return "floor";
    return fail(value);
  }

  // Lanterns hang or stand; other hanging blocks cannot be turned over.
  void hung(std::string& value) {
    if (!flips_y_) return;
    if (!name_.ends_with("lantern")) {
      failed_ = true;
      return;
    }
    value = value == "true" ? "false" : "true";
  }

  // Buttons, levers, grindstones: the side they stand on and the way they
  // point, turned together.
  void turn_face() {
    std::string& face = properties_["face"];
    std::string& facing = properties_["facing"];
    const auto pointing = vector_of(facing);
    if (!pointing) return;
    const Vector out = face == "floor" ? kUp : face == "ceiling" ? opposite(kUp) : *pointing;
    const Vector along = face == "wall" ? kUp : *pointing;
    const Vector new_out = map_.apply(out), new_along = map_.apply(along);
    if (new_out == kUp || new_out == opposite(kUp)) {
      face = new_out == kUp ? "floor" : "ceiling";
      facing = name_of(new_along);
    } else {
      // A wall button knows no top: one a turn would stand upside down
      // cannot be shown (a mirror of y leaves it looking the same).
      if (!map_.keeps_vertical() && new_along != kUp) failed_ = true;
      face = "wall";
      facing = name_of(new_out);
    }
  }

  // Fences, panes, walls, wire, vines, lichen: the key names the side. A
  // block with no "down" side keeps its "up" (a wall's post, a vine's top).
  void move_side_keys() {
    const bool six_sided = properties_.contains("up") && properties_.contains("down");
    Properties moved;
    for (auto it = properties_.begin(); it != properties_.end();) {
      const auto side = vector_of(it->first);
      const bool horizontal = side && !vertical(*side);
      if (!side || (!six_sided && !horizontal)) {
        ++it;
        continue;
      }
      const Vector to = map_.apply(*side);
      if (!six_sided && vertical(to)) failed_ = true;
      moved[name_of(to)] = std::move(it->second);
      it = properties_.erase(it);
    }
    properties_.merge(moved);
  }

  std::string fail(const std::string& value) {
    failed_ = true;
    return value;
  }

  // Whether the block has exactly these properties, each value allowed.
  bool allowed() const {
    if (!schema_) return false;
    if (schema_->properties.size() != properties_.size()) return false;
    return std::all_of(properties_.begin(), properties_.end(), [&](const auto& entry) {
      const BlockProperty* property = schema_->find(entry.first);
      return property && property->allows(entry.second);
    });
  }

  std::string name_;
  const AxisMap& map_;
  const BlockSchema* schema_;
  const bool flips_y_;
  Properties properties_;
  bool checked_ = false;
  bool failed_ = false;
};

const BlockSchema* schema_of(const BlockState& state, int table) {
  constexpr std::string_view kNamespace = "minecraft:";
  if (table < 0 || !state.name().starts_with(kNamespace)) return nullptr;
  return find_block(table, std::string_view(state.name()).substr(kNamespace.size()));
}

}  // namespace

std::optional<StateRef> transform_state(const StateRef& state, const AxisMap& map, int table) {
  if (state->properties().empty()) return state;
  StateTransform transform(*state, map, schema_of(*state, table));
  if (!transform.run()) return std::nullopt;
  std::vector<BlockState::Property> properties(transform.properties().begin(), transform.properties().end());
  if (properties == state->properties()) return state;
  return BlockState::create(state->name(), std::move(properties));
}

}  // namespace kubic
