#pragma once

#include <array>
#include <cstdint>

namespace kubic {

// Sizes and offsets of dense boxes of cells, x, y, z.
using Extent = std::array<int64_t, 3>;

// Whole-box arrays are indexed cells[x][y][z]; files list their entries
// y slowest, then z, x fastest. Both moves go tile by tile: copying straight
// across planes would miss the cache on every cell.

// Places a box of `size` entries given in file order into `cells` (a box of
// `cells_size`) with its corner at `offset`; zero entries leave the cell as
// it is when `skip_zero`.
void place_file_order(const uint16_t* file_order, const Extent& size, uint16_t* cells, const Extent& cells_size,
                      const Extent& offset, bool skip_zero);

// The whole of `cells` (a box of `size`) in file order.
void gather_file_order(const uint16_t* cells, const Extent& size, uint16_t* file_order);

}  // namespace kubic
