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

bool values_in_file_order(const uint16_t* cells, const Extent& size, size_t limit, std::vector<uint16_t>& order) {
  const auto [sx, sy, sz] = size;
  std::vector<uint64_t> first(limit, UINT64_MAX);
  const uint16_t* cell = cells;
  for (int64_t x = 0; x < sx; ++x) {
    for (int64_t y = 0; y < sy; ++y) {
      for (int64_t z = 0; z < sz; ++z, ++cell) {
        if (*cell >= limit) return false;
        const uint64_t at = uint64_t((y * sz + z) * sx + x);
        if (at < first[*cell]) first[*cell] = at;
      }
    }
  }
  order.clear();
  for (size_t value = 0; value < limit; ++value) {
    if (first[value] != UINT64_MAX) order.push_back(uint16_t(value));
  }
  std::sort(order.begin(), order.end(), [&](uint16_t a, uint16_t b) { return first[a] < first[b]; });
  return true;
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
