#include "stream/schematic_extras.h"

#include <algorithm>
#include <cmath>

namespace kubic {

void shift_entity_tiles(Compound& data, const BlockPosition& delta) {
  for (int axis = 0; axis < 3; ++axis) {
    const Tag* tile = data.get(kEntityTileTags[axis]);
    const int32_t* value = tile ? tile->as<int32_t>() : nullptr;
    if (value) data.put(kEntityTileTags[axis], Tag{int32_t(uint32_t(*value) + uint32_t(delta[axis]))});
  }
}

double Entity::coordinate(int axis, int64_t from) const {
  const int64_t whole = offset[size_t(axis)] - from;
  return whole == 0 ? position[size_t(axis)] : position[size_t(axis)] + double(whole);
}

std::array<double, 3> Entity::coordinates(const BlockPosition& from) const {
  return {coordinate(0, from.x), coordinate(1, from.y), coordinate(2, from.z)};
}

BlockPosition Entity::cell(const BlockPosition& from) const {
  int32_t out[3];
  for (int axis = 0; axis < 3; ++axis) {
    const double value = std::floor(coordinate(axis, from[axis]));
    out[axis] = std::isnan(value) ? 0 : int32_t(std::clamp(value, double(INT32_MIN), double(INT32_MAX)));
  }
  return {out[0], out[1], out[2]};
}

Boundary box_from_corner(const BlockPosition& position, const std::array<int32_t, 3>& size) {
  int32_t min[3], extent[3];
  for (int axis = 0; axis < 3; ++axis) {
    // Checked by whoever made the part: the corner stays in range.
    const int64_t size_on_axis = size[size_t(axis)];
    min[axis] = int32_t(position[axis] + (size_on_axis < 0 ? size_on_axis + 1 : 0));
    extent[axis] = int32_t(size_on_axis < 0 ? -size_on_axis : size_on_axis);
  }
  return Boundary(min[0], min[1], min[2], extent[0], extent[1], extent[2]);
}

void SchematicExtras::shift(const BlockPosition& delta) {
  if (delta == BlockPosition{}) return;
  for (BlockEntity& entity : block_entities) entity.position = moved(entity.position, delta);
  for (Entity& entity : entities) {
    for (int axis = 0; axis < 3; ++axis) entity.offset[size_t(axis)] += delta[axis];
    shift_entity_tiles(entity.data, delta);
  }
  for (SubRegion& region : regions) region.position = moved(region.position, delta);
  origin = moved(origin, {-delta.x, -delta.y, -delta.z});
}

}  // namespace kubic
