#include "stream/schematic_extras.h"

namespace kubic {

void shift_entity_tiles(Compound& data, const BlockPosition& delta) {
  for (int axis = 0; axis < 3; ++axis) {
    const Tag* tile = data.get(kEntityTileTags[axis]);
    const int32_t* value = tile ? tile->as<int32_t>() : nullptr;
    if (value) data.put(kEntityTileTags[axis], Tag{int32_t(uint32_t(*value) + uint32_t(delta[axis]))});
  }
}

void SchematicExtras::shift(const BlockPosition& delta) {
  if (delta == BlockPosition{}) return;
  for (BlockEntity& entity : block_entities) entity.position = moved(entity.position, delta);
  for (Entity& entity : entities) {
    for (int axis = 0; axis < 3; ++axis) entity.position[size_t(axis)] += delta[axis];
    shift_entity_tiles(entity.data, delta);
  }
  origin = moved(origin, {-delta.x, -delta.y, -delta.z});
}

}  // namespace kubic
