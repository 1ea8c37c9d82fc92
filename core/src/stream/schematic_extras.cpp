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
  auto add = [](int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); };
  for (BlockEntity& entity : block_entities) {
    entity.position = {add(entity.position.x, delta.x), add(entity.position.y, delta.y),
                       add(entity.position.z, delta.z)};
  }
  for (Entity& entity : entities) {
    for (int axis = 0; axis < 3; ++axis) entity.position[size_t(axis)] += delta[axis];
    shift_entity_tiles(entity.data, delta);
  }
  origin = {add(origin.x, -delta.x), add(origin.y, -delta.y), add(origin.z, -delta.z)};
}

}  // namespace kubic
