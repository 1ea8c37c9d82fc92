#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/boundary.h"

namespace kubic {

// Sizes and offsets of dense boxes of cells, x, y, z.
using Extent = std::array<int64_t, 3>;

// A whole box of cells lies in memory in one of two layouts: XYZ, as
// arrays hold it (cells[x][y][z]), or YZX, as files list their entries (y
// slowest, then z, x fastest). Moves between the two go tile by tile:
// copying straight across planes would miss the cache on every cell.
inline size_t cell_index(const Extent& size, AxisOrder layout, int64_t x, int64_t y, int64_t z) {
  return size_t(layout == AxisOrder::YZX ? (y * size[2] + z) * size[0] + x : (x * size[1] + y) * size[2] + z);
}

// Calls visit(x, y, z) for every position of a box of `size`: y slowest,
// then in tiles of z and x, so that both reading in file order and writing
// cells[x][y][z] stay in cache.
template <typename Visit>
void for_each_in_tiles(const Extent& size, Visit&& visit) {
  constexpr int64_t kTile = 64;
  const auto [sx, sy, sz] = size;
  for (int64_t y = 0; y < sy; ++y) {
    for (int64_t z0 = 0; z0 < sz; z0 += kTile) {
      for (int64_t x0 = 0; x0 < sx; x0 += kTile) {
        const int64_t z1 = z0 + kTile < sz ? z0 + kTile : sz, x1 = x0 + kTile < sx ? x0 + kTile : sx;
        for (int64_t x = x0; x < x1; ++x) {
          for (int64_t z = z0; z < z1; ++z) visit(x, y, z);
        }
      }
    }
  }
}

// Places planes y0 to y0 + count - 1 of a box of `size`, given in file
// order, into `cells` (a box of `cells_size` in `layout`) with the box's
// corner at `offset`; zero entries leave the cell as it is when `skip_zero`.
void place_planes(const uint16_t* planes, const Extent& size, int64_t y0, int64_t count, uint16_t* cells,
                  const Extent& cells_size, const Extent& offset, bool skip_zero, AxisOrder layout);

// The same for a whole box given in file order, into XYZ cells.
void place_file_order(const uint16_t* file_order, const Extent& size, uint16_t* cells, const Extent& cells_size,
                      const Extent& offset, bool skip_zero);

// Planes y0 to y0 + count - 1 of `cells` (a box of `size` in `layout`) in
// file order: y slowest, then z, x fastest. A few planes at once read XYZ
// cells in longer runs than one at a time.
void gather_planes(const uint16_t* cells, const Extent& size, int64_t y0, int64_t count, uint16_t* planes,
                   AxisOrder layout);
constexpr int64_t kPlanesAtOnce = 8;

// Sets `count` cells of `cells` (a box of `size` in `layout`) to `value`,
// from the `start`-th position of a walk over the box in `order` on.
void fill_walk_run_across(uint16_t* cells, const Extent& size, AxisOrder layout, AxisOrder order, uint64_t start,
                          uint64_t count, uint16_t value);
// Inline, as runs of one are common: a walk in the cells' own layout
// covers them in a row.
inline void fill_walk_run(uint16_t* cells, const Extent& size, AxisOrder layout, AxisOrder order, uint64_t start,
                          uint64_t count, uint16_t value) {
  if (order == layout) return std::fill_n(cells + start, count, value), void();
  fill_walk_run_across(cells, size, layout, order, start, count, value);
}

// Numbers for cell values in the order a walk meets them, as files number
// their palettes: a value's first meeting asks `assign` for its number.
// Values at or past `limit` are not in the palette and have none.
class FirstMetNumbers {
 public:
  static constexpr int32_t kOutside = -2;

  explicit FirstMetNumbers(size_t limit);

  // The number of `value`, or kOutside.
  template <typename Assign>
  int32_t of(uint16_t value, Assign&& assign) {
    int32_t& number = numbers_[value];
    if (number >= 0) [[likely]] return number;
    if (number == kOutside) return kOutside;
    return number = assign(value);
  }

 private:
  static constexpr int32_t kUnmet = -1;
  std::vector<int32_t> numbers_;
};

}  // namespace kubic
