#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/axis_map.h"
#include "common/block_state.h"
#include "stream/schematic_extras.h"

namespace kubic {

// A palette after a turn or mirror: each state transformed once, states
// that became the same merged.
struct TransformedPalette {
  std::vector<StateRef> palette;
  std::vector<uint32_t> mapping;      // old index -> new index
  std::vector<uint32_t> cannot_show;  // old indices kept as they were
};

// `table`: the block table of the schematic's game version (-1: none).
TransformedPalette transform_palette(std::span<const StateRef> palette, const AxisMap& map, int table);

// The cells of a box of `size` (x-major: z runs fastest) after `map`, each
// through `mapping`, in one pass over the output.
template <typename Cell>
void transform_cells(const Cell* in, const std::array<int64_t, 3>& size, const AxisMap& map,
                     std::span<const uint32_t> mapping, Cell* out);

// An entity in a box of `size` after `map`: its position, look (Rotation),
// Motion, hanging entities' block (TileX/Y/Z) and the side item frames and
// paintings face. False when it cannot show the result (a painting turned to
// face up); the entity is then moved but not turned.
bool transform_entity(Entity& entity, const AxisMap& map, const std::array<int64_t, 3>& size);

}  // namespace kubic
