#include "store/dense_cells.h"

#include <algorithm>

namespace kubic {

namespace {

constexpr int64_t kTile = 64;

}  // namespace

void place_file_order(const uint16_t* file_order, const Extent& size, uint16_t* cells, const Extent& cells_size,
                      const Extent& offset, bool skip_zero) {
  const int64_t sx = size[0], sz = size[2], cy = cells_size[1], cz = cells_size[2];
  for_each_in_tiles(size, [&](int64_t x, int64_t y, int64_t z) {
    const uint16_t cell = file_order[(y * sz + z) * sx + x];
    if (cell || !skip_zero) cells[((x + offset[0]) * cy + y + offset[1]) * cz + z + offset[2]] = cell;
  });
}

void gather_file_order(const uint16_t* cells, const Extent& size, uint16_t* file_order) {
  const auto [sx, sy, sz] = size;
  for (int64_t y = 0; y < sy; ++y) {
    uint16_t* plane = file_order + y * sz * sx;
    for (int64_t x0 = 0; x0 < sx; x0 += kTile) {
      for (int64_t z0 = 0; z0 < sz; z0 += kTile) {
        const int64_t x1 = std::min(sx, x0 + kTile), z1 = std::min(sz, z0 + kTile);
        for (int64_t x = x0; x < x1; ++x) {
          const uint16_t* row = cells + (x * sy + y) * sz;
          for (int64_t z = z0; z < z1; ++z) plane[z * sx + x] = row[z];
        }
      }
    }
  }
}

}  // namespace kubic
