#include "schematic/transform.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "blocks/block_transform.h"

namespace kubic {

TransformedPalette transform_palette(std::span<const StateRef> palette, const AxisMap& map, int table) {
  TransformedPalette result;
  std::unordered_map<StateRef, uint32_t, StateRefHash> index_of;
  for (size_t i = 0; i < palette.size(); ++i) {
    auto turned = transform_state(palette[i], map, table);
    if (!turned) result.cannot_show.push_back(uint32_t(i));
    const StateRef& state = turned ? *turned : palette[i];
    auto [entry, added] = index_of.try_emplace(state, uint32_t(result.palette.size()));
    if (added) result.palette.push_back(state);
    result.mapping.push_back(entry->second);
  }
  return result;
}

template <typename Cell>
void transform_cells(const Cell* in, const std::array<int64_t, 3>& size, const AxisMap& map,
                     std::span<const uint32_t> mapping, Cell* out) {
  const std::array<int64_t, 3> strides = {size[1] * size[2], size[2], 1};
  const std::array<int64_t, 3> out_size = map.mapped_size(size);
  // Stepping along output axis i steps along input axis from[i], backwards
  // when its sign is negative; the first output cell reads the input's
  // corner on that side.
  std::array<int64_t, 3> step;
  int64_t start = 0;
  for (size_t i = 0; i < 3; ++i) {
    step[i] = map.sign[i] * strides[map.from[i]];
    if (map.sign[i] < 0) start += (size[map.from[i]] - 1) * strides[map.from[i]];
  }
  const auto copy_row = [&](int64_t x, int64_t y, int64_t z0, int64_t z_end) {
    const Cell* row = in + start + x * step[0] + y * step[1];
    Cell* target = out + (x * out_size[1] + y) * out_size[2];
    for (int64_t z = z0; z < z_end; ++z) target[z] = Cell(mapping[row[z * step[2]]]);
  };
  // Output rows run along z. When they read along the input's rows too,
  // row by row is best; when they read across them, tiles of rows side by
  // side share the cache lines each row touches.
  const int across = map.image_of_axis(2);
  if (across == 2) {
    for (int64_t x = 0; x < out_size[0]; ++x) {
      for (int64_t y = 0; y < out_size[1]; ++y) copy_row(x, y, 0, out_size[2]);
    }
    return;
  }
  constexpr int64_t kTile = 64;
  const int other = 1 - across;
  for (int64_t o = 0; o < out_size[size_t(other)]; ++o) {
    for (int64_t a0 = 0; a0 < out_size[size_t(across)]; a0 += kTile) {
      for (int64_t z0 = 0; z0 < out_size[2]; z0 += kTile) {
        const int64_t a_end = std::min(a0 + kTile, out_size[size_t(across)]);
        for (int64_t a = a0; a < a_end; ++a) {
          copy_row(across == 0 ? a : o, across == 1 ? a : o, z0, std::min(z0 + kTile, out_size[2]));
        }
      }
    }
  }
}

template void transform_cells<uint16_t>(const uint16_t*, const std::array<int64_t, 3>&, const AxisMap&,
                                        std::span<const uint32_t>, uint16_t*);
template void transform_cells<uint32_t>(const uint32_t*, const std::array<int64_t, 3>&, const AxisMap&,
                                        std::span<const uint32_t>, uint32_t*);

namespace {

using Vector = std::array<int, 3>;

// Item frames face any of six sides: down, up, north, south, west, east.
constexpr Vector kSides[] = {{0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}};
// Paintings face a horizontal side: south, west, north, east.
constexpr Vector kHorizontal[] = {{0, 0, 1}, {-1, 0, 0}, {0, 0, -1}, {1, 0, 0}};

template <size_t N>
int index_of(const Vector (&sides)[N], const Vector& side) {
  for (size_t i = 0; i < N; ++i) {
    if (sides[i] == side) return int(i);
  }
  return -1;
}

// The side tag under `key` mapped through `sides`; false when the mapped
// side has no number there.
template <size_t N>
bool turn_side(Compound& data, const char* key, const Vector (&sides)[N], const AxisMap& map) {
  const Tag* tag = data.get(key);
  const auto number = tag ? tag->int_value() : std::nullopt;
  if (!number || *number < 0 || size_t(*number) >= N) return true;
  const int turned = index_of(sides, map.apply(sides[*number]));
  if (turned < 0) return false;
  Tag value = *tag;
  std::visit([&](auto& v) {
    if constexpr (std::is_integral_v<std::decay_t<decltype(v)>>) v = std::decay_t<decltype(v)>(turned);
  }, value.value);
  data.put(key, std::move(value));
  return true;
}

double wrapped_degrees(double degrees) {
  const double wrapped = std::fmod(degrees + 180.0, 360.0);
  return (wrapped < 0 ? wrapped + 360.0 : wrapped) - 180.0;
}

// Yaw (clockwise from south, seen from above) and pitch (down positive).
std::array<double, 2> turned_look(double yaw, double pitch, const AxisMap& map) {
  if (map.keeps_vertical()) {
    const Vector south_to = map.apply({0, 0, 1});
    const int quarter = index_of(kHorizontal, south_to);
    const double base = quarter * 90.0;
    const double turned = map.mirrors_seen_from_above() ? base - yaw : base + yaw;
    return {wrapped_degrees(turned), map.sign[1] < 0 ? -pitch : pitch};
  }
  constexpr double kRadians = std::numbers::pi / 180.0;
  const double x = -std::sin(yaw * kRadians) * std::cos(pitch * kRadians);
  const double y = -std::sin(pitch * kRadians);
  const double z = std::cos(yaw * kRadians) * std::cos(pitch * kRadians);
  const double axes[3] = {x, y, z};
  double out[3];
  for (size_t i = 0; i < 3; ++i) out[i] = map.sign[i] * axes[map.from[i]];
  // Whole degrees come back whole, not a rounding error away.
  const auto snapped = [](double degrees) {
    return std::abs(degrees - std::round(degrees)) < 1e-9 ? std::round(degrees) + 0.0 : degrees;
  };
  return {snapped(std::atan2(-out[0], out[2]) / kRadians),
          snapped(std::asin(std::clamp(-out[1], -1.0, 1.0)) / kRadians)};
}

void turn_look(Compound& data, const AxisMap& map) {
  const ListTag* rotation = data.get_as<ListTag>("Rotation");
  if (!rotation || rotation->element_type != TagType::Float || rotation->items.size() != 2) return;
  const auto look = turned_look(*rotation->items[0].as<float>(), *rotation->items[1].as<float>(), map);
  data.put("Rotation", Tag{ListTag{TagType::Float, {Tag{float(look[0])}, Tag{float(look[1])}}}});
}

void turn_motion(Compound& data, const AxisMap& map) {
  const ListTag* motion = data.get_as<ListTag>("Motion");
  if (!motion || motion->element_type != TagType::Double || motion->items.size() != 3) return;
  ListTag turned{TagType::Double, {}};
  for (size_t i = 0; i < 3; ++i) turned.items.push_back(Tag{map.sign[i] * *motion->items[map.from[i]].as<double>()});
  data.put("Motion", Tag{std::move(turned)});
}

void move_tiles(Compound& data, const AxisMap& map, const std::array<int64_t, 3>& size) {
  std::array<int64_t, 3> tile;
  for (size_t axis = 0; axis < 3; ++axis) {
    const int32_t* value = data.get_as<int32_t>(kEntityTileTags[axis]);
    if (!value) return;
    tile[axis] = *value;
  }
  const auto moved = map.map_cell(tile, size);
  for (size_t axis = 0; axis < 3; ++axis) data.put(kEntityTileTags[axis], Tag{int32_t(moved[axis])});
}

}  // namespace

bool transform_entity(Entity& entity, const AxisMap& map, const std::array<int64_t, 3>& size) {
  entity.position = map.map_point(entity.coordinates(), size);
  entity.offset = {};
  move_tiles(entity.data, map, size);
  const std::string* tag = entity.data.get_as<std::string>("id");
  const std::string_view id = tag ? std::string_view(*tag) : std::string_view();
  Compound turned = entity.data;
  bool shown = true;
  if (id.ends_with("painting") || id == "Painting") {
    shown = turn_side(turned, "facing", kHorizontal, map) && turn_side(turned, "Facing", kHorizontal, map);
  } else if (id.ends_with("item_frame") || id == "ItemFrame") {
    shown = turn_side(turned, "Facing", kSides, map);
  } else if (id.ends_with("shulker")) {
    shown = turn_side(turned, "AttachFace", kSides, map);
  }
  if (!shown) return false;
  turn_look(turned, map);
  turn_motion(turned, map);
  entity.data = std::move(turned);
  return true;
}

}  // namespace kubic
